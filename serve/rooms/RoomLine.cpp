#include "serve/rooms/RoomLine.h"

#include "control/Commands.h"
#include "control/Line.h"

namespace
{
struct StateRow {
    RoomLine::State state;
    const char* name;
    const char* text;
};
// In the order of the enum.
constexpr StateRow kStates[] = {
    {RoomLine::State::Unknown, "unknown", QT_TRANSLATE_NOOP("CampusPage", "unknown")},
    {RoomLine::State::Reachable, "reachable", QT_TRANSLATE_NOOP("CampusPage", "reachable")},
    {RoomLine::State::InUse, "in use", QT_TRANSLATE_NOOP("CampusPage", "in use")},
    {RoomLine::State::Unreachable, "unreachable", QT_TRANSLATE_NOOP("CampusPage", "unreachable")},
};
} // namespace

QString RoomLine::StateName(State state)
{
    return QString::fromLatin1(kStates[int(state)].name);
}

QStringList RoomLine::StateNames()
{
    QStringList names;
    for (const StateRow& row : kStates)
        names.append(QString::fromLatin1(row.name));
    return names;
}

const char* RoomLine::StateText(State state)
{
    return kStates[int(state)].text;
}

RoomLine::RoomLine(RoomConfig config, QObject* parent)
    : QObject(parent), m_config(std::move(config))
{
}

RoomLine::~RoomLine()
{
    Close();
}

Outcome RoomLine::open()
{
    return Outcome::Of([this] { Line::Open(m_serial, m_config.device); });
}

void RoomLine::note(const CommandResult& result)
{
    const State before = m_state;
    if (result.Sent())
        m_state = State::Reachable;
    else if (result.code == CommandResult::Code::InUse)
        m_state = State::InUse;
    else
        m_state = State::Unreachable;
    m_lastError = result.message;
    if (m_state != before || !result.Sent())
        emit changed();
}

CommandResult RoomLine::Send(const Command& command)
{
    if (!m_serial.GetPortOpen()) {
        const CommandResult opened = CommandResult::Of(&command, open());
        if (!opened.Sent()) {
            note(opened);
            return opened;
        }
    }
    const CommandResult sent = CommandResult::Of(&command, Line::Send(m_serial, command));
    if (sent.Sent()) {
        m_lastCommand = command.letter;
        m_lastTime = QDateTime::currentDateTimeUtc();
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
    note(CommandResult::Of(nullptr, opened));
}

void RoomLine::Close()
{
    Outcome::Of([this] { m_serial.SetPortOpen(false); });
}
