#include "serve/automation/IdleWatch.h"

#include "control/Commands.h"
#include "control/Logging.h"
#include "serve/rooms/Campus.h"
#include "serve/automation/Clock.h"

#include <algorithm>

namespace
{
// What leaves a room in use: the projector switched on, or a source chosen.
bool startsUse(const Command& command)
{
    static constexpr std::string_view kUse[] = {
        "projector-on",  "video-signal",     "computer-signal", "video-disc-player",
        "video-recorder", "tape-recorder",   "media",           "presenter",
        "desktop-computer", "laptop-computer", "digital-presenter"};
    return std::find(std::begin(kUse), std::end(kUse), command.name) != std::end(kUse);
}
} // namespace

IdleWatch::IdleWatch(Campus& campus, const Clock& clock, QObject* parent)
    : QObject(parent), m_campus(campus), m_clock(clock)
{
    connect(&campus, &Campus::answered, this, &IdleWatch::noted);
    connect(&m_timer, &QTimer::timeout, this, &IdleWatch::Check);
}

void IdleWatch::Configure(qint64 idleSeconds, const QStringList& commands)
{
    m_idleSeconds = idleSeconds;
    m_commands = commands;
    if (idleSeconds > 0)
        m_timer.start(int(std::min<qint64>(kLookEveryMs, idleSeconds * 1000 / 4 + 1)));
    else
        m_timer.stop();
}

void IdleWatch::noted(const CommandEntry::Request& request, const CommandResult& result)
{
    if (!result.command || !m_campus.HasRoom(request.target))
        return;
    const bool out = result.Sent() || result.code == CommandResult::Code::NotConfirmed;
    if (out && startsUse(*result.command))
        m_inUse.insert(request.target, m_clock.Now());
    else if (out && result.command->name == "projector-off")
        m_inUse.remove(request.target);
    else if (m_inUse.contains(request.target)) // any other command is the room's use
        m_inUse[request.target] = m_clock.Now();
}

void IdleWatch::PowerSeen(const QString& room, bool lit)
{
    if (!m_campus.HasRoom(room))
        return;
    if (!lit)
        m_inUse.remove(room);
    else if (!m_inUse.contains(room))
        m_inUse.insert(room, m_clock.Now());
}

void IdleWatch::Check()
{
    if (m_idleSeconds <= 0)
        return;
    const QDateTime now = m_clock.Now();
    QStringList idle;
    for (auto it = m_inUse.begin(); it != m_inUse.end(); ++it)
        if (it.value().secsTo(now) >= m_idleSeconds && m_campus.HasRoom(it.key()))
            idle.append(it.key());
    for (const QString& room : idle) {
        m_inUse.remove(room); // once
        qCInfo(lcServe).noquote() << "room" << room << "idle: sending" << m_commands.join(u',');
        for (const QString& word : std::as_const(m_commands))
            CommandEntry::Send(m_campus, {room, word, Face::Idle, QStringLiteral("idle")},
                               [](const CommandResult&) {});
    }
}
