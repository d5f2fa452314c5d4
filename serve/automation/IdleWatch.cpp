#include "serve/automation/IdleWatch.h"

#include "control/Commands.h"
#include "control/Logging.h"
#include "serve/rooms/Campus.h"
#include "serve/automation/Clock.h"
#include "serve/history/History.h"

#include <QPointer>

#include <algorithm>

namespace
{
// What leaves a room in use: the projector switched on, or a source chosen.
bool startsUse(const Command& command)
{
    static const QStringList kUse = IdleWatch::UseCommands();
    return kUse.contains(QLatin1String(command.name.data(), qsizetype(command.name.size())));
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

QStringList IdleWatch::UseCommands()
{
    return {QStringLiteral("projector-on"),     QStringLiteral("video-signal"),
            QStringLiteral("computer-signal"),  QStringLiteral("video-disc-player"),
            QStringLiteral("video-recorder"),   QStringLiteral("tape-recorder"),
            QStringLiteral("media"),            QStringLiteral("presenter"),
            QStringLiteral("desktop-computer"), QStringLiteral("laptop-computer"),
            QStringLiteral("digital-presenter")};
}

void IdleWatch::Restore(History& history)
{
    HistoryFilter uses;
    uses.commands = UseCommands() << QStringLiteral("projector-off");
    uses.codes = {CommandResult::CodeName(CommandResult::Code::Sent),
                  CommandResult::CodeName(CommandResult::Code::NotConfirmed)};
    QMap<QString, QDateTime> last;
    for (const HistoryRecord& any : history.LastPerRoom({}))
        last.insert(any.room, any.at);
    for (const HistoryRecord& use : history.LastPerRoom(uses))
        if (use.command != QLatin1String("projector-off") && m_campus.HasRoom(use.room) &&
            !m_inUse.contains(use.room))
            m_inUse.insert(use.room, std::max(use.at, last.value(use.room)));
}

void IdleWatch::noted(const CommandEntry::Request& request, const CommandResult& result)
{
    if (!result.command || !m_campus.HasRoom(request.target))
        return;
    if (request.face != Face::Idle)
        m_retry.remove(request.target); // someone else's: theirs from now on
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
    for (auto it = m_retry.begin(); it != m_retry.end(); ++it)
        if (it.value().next <= now && m_campus.HasRoom(it.key()) && !idle.contains(it.key()))
            idle.append(it.key());
    for (const QString& room : idle) {
        m_inUse.remove(room); // once
        qCInfo(lcServe).noquote() << "room" << room << "idle: sending" << m_commands.join(u',');
        switchOff(room);
    }
}

void IdleWatch::switchOff(const QString& room)
{
    const int tries = m_retry.value(room).tries + 1;
    m_retry.remove(room);
    for (const QString& word : std::as_const(m_commands))
        CommandEntry::Send(
            m_campus, {room, word, Face::Idle, QStringLiteral("idle")},
            [this, self = QPointer<IdleWatch>(this), room, tries](const CommandResult& result) {
                using Code = CommandResult::Code;
                if (!self || result.Sent() || result.code == Code::NotConfirmed ||
                    result.code == Code::UnknownCommand || result.code == Code::NoSuchRoom ||
                    m_inUse.contains(room) || m_retry.contains(room))
                    return;
                if (tries >= kMaxTries) {
                    qCWarning(lcServe).noquote() << "room" << room << "idle: not switched off after"
                                                 << tries << "tries:" << result.message;
                    return;
                }
                const qint64 pause = qint64(kRetryAfterSeconds) << (tries - 1);
                qCInfo(lcServe).noquote() << "room" << room << "idle:" << result.message
                                          << "- tried again in" << pause << "s";
                m_retry.insert(room, {tries, m_clock.Now().addSecs(pause)});
            });
}
