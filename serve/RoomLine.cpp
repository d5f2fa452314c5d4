#include "serve/RoomLine.h"

#include "control/Commands.h"
#include "control/Line.h"

RoomLine::RoomLine(RoomConfig config, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_idle(this)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(kIdleMs);
    connect(&m_idle, &QTimer::timeout, this, &RoomLine::Close);
}

RoomLine::~RoomLine()
{
    Close();
}

Outcome RoomLine::open()
{
    return Outcome::Of([this] { Line::Open(m_serial, m_config.device); });
}

void RoomLine::note(const Outcome& outcome)
{
    const State before = m_state;
    if (outcome.Ok())
        m_state = State::Reachable;
    else if (outcome.Code() == CommErrorCode::PortBusy)
        m_state = State::InUse;
    else
        m_state = State::Unreachable;
    m_lastError = outcome.Error().value_or(QString());
    if (m_state != before || !outcome.Ok())
        emit changed();
}

Outcome RoomLine::Send(const Command& command)
{
    if (!m_serial.GetPortOpen()) {
        const Outcome opened = open();
        if (!opened.Ok()) {
            note(opened);
            return opened;
        }
    }
    const Outcome sent = Line::Send(m_serial, command);
    if (sent.Ok()) {
        m_lastCommand = command.letter;
        m_lastTime = QDateTime::currentDateTimeUtc();
        m_idle.start();
    } else {
        Close(); // the next command starts afresh
    }
    note(sent);
    emit changed();
    return sent;
}

void RoomLine::Probe()
{
    if (m_serial.GetPortOpen())
        return; // in use by us: reachable, and a probe would only disturb it
    const Outcome opened = open();
    Close();
    note(opened);
}

void RoomLine::Close()
{
    m_idle.stop();
    Outcome::Of([this] { m_serial.SetPortOpen(false); });
}
