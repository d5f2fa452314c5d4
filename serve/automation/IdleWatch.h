// The idle switch-off ([service] idle_off=2h, idle_commands=projector-off):
// a room left in use (the projector switched on or a source chosen, and the
// projector not switched off since) which has had no command from any face
// for idle_off gets the idle commands once, through the one entry point (Face::Idle), recorded as any
// command is. Off when idle_off is 0, as it is unless configured.
#pragma once

#include "control/CommandEntry.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTimer>

class Campus;
class Clock;

class IdleWatch : public QObject
{
    Q_OBJECT
public:
    // The idle time is looked at at least this often.
    static constexpr int kLookEveryMs = 60'000;

    IdleWatch(Campus& campus, const Clock& clock, QObject* parent = nullptr);

    // idle_off in seconds (0: off) and the commands then sent.
    void Configure(qint64 idleSeconds, const QStringList& commands);
    // Sends the idle commands to the rooms idle for long enough.
    void Check();
    // What the room's projector says of itself, where it has one: lit with
    // no command counts as in use from now on; off takes the room out of use.
    void PowerSeen(const QString& room, bool lit);

private:
    void noted(const CommandEntry::Request& request, const CommandResult& result);

    Campus& m_campus;
    const Clock& m_clock;
    qint64 m_idleSeconds = 0;
    QStringList m_commands;
    QMap<QString, QDateTime> m_inUse; // room left in use → its last command
    QTimer m_timer;
};
