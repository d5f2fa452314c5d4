// The idle switch-off ([service] idle_off=2h, idle_commands=projector-off):
// a room left in use (the projector switched on or a source chosen, and the
// projector not switched off since) which has had no command from any face
// for idle_off gets the idle commands, through the one entry point (Face::Idle), recorded as any
// command is. When they do not go out (the line in use by another program,
// the room down), they are tried again after a growing pause, at most
// kMaxTries times, until the room is switched off or used again. Which rooms
// are in use is read back from the history at a start. Off when idle_off is
// 0, as it is unless configured.
#pragma once

#include "control/CommandEntry.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTimer>

class Campus;
class Clock;
class History;

class IdleWatch : public QObject
{
    Q_OBJECT
public:
    // The idle time is looked at at least this often.
    static constexpr int kLookEveryMs = 60'000;
    // Idle commands that did not go out are tried again after 1, 2, 4, …
    // times this, at most kMaxTries times in all.
    static constexpr int kRetryAfterSeconds = 60;
    static constexpr int kMaxTries = 7;

    IdleWatch(Campus& campus, const Clock& clock, QObject* parent = nullptr);

    // idle_off in seconds (0: off) and the commands then sent.
    void Configure(qint64 idleSeconds, const QStringList& commands);
    // Sends the idle commands to the rooms idle for long enough.
    void Check();
    // The rooms left in use before a restart, and their last commands, from
    // the history's journal.
    void Restore(History& history);
    // What leaves a room in use, and what ends it.
    static QStringList UseCommands();
    // What the room's projector says of itself, where it has one: lit with
    // no command counts as in use from now on; off takes the room out of use.
    void PowerSeen(const QString& room, bool lit);

private:
    struct Retry {
        int tries = 0;
        QDateTime next;
    };
    void noted(const CommandEntry::Request& request, const CommandResult& result);
    void switchOff(const QString& room);

    Campus& m_campus;
    const Clock& m_clock;
    qint64 m_idleSeconds = 0;
    QStringList m_commands;
    QMap<QString, QDateTime> m_inUse; // room left in use → its last command
    QMap<QString, Retry> m_retry;     // room whose idle commands did not go out
    QTimer m_timer;
};
