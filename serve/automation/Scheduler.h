// Runs the [schedule] entries of serve.conf: each run of a schedule sends its
// commands to its rooms once, through the one entry point (Face::Schedule,
// the schedule's name as who), as a click on the page would. A run that
// cannot start within kStartWithinMs of its time (the service was down,
// stopped or busy) is not sent late: it is recorded in the history as
// missed. What ran last is kept in a state file, so that a restart neither
// runs a time twice nor forgets one it missed (also before a first run); a
// reload keeps it too, also for a schedule taken out and put back. The last
// run's outcomes are read back from the history at a start.
//
// The clock is a seam: the service's is the system's, a test's is its own,
// and Check() runs what is due by it.
#pragma once

#include "serve/config/ScheduleConfig.h"

#include <QJsonArray>
#include <QMap>
#include <QObject>
#include <QTimer>

class Campus;
class Clock;
class History;
class RoomGroups;

class Scheduler : public QObject
{
    Q_OBJECT
public:
    static constexpr int kStartWithinMs = 60'000;
    // Runs missed while the service was down are recorded this far back.
    static constexpr int kLookBackDays = 31;
    // The clock is looked at at least this often (it may have been set, or
    // the machine asleep).
    static constexpr int kLookEveryMs = 30'000;
    // A last run's outcomes read back from the history, at most.
    static constexpr int kMaxOutcomes = 10'000;

    // `stateFile`: where the last runs are kept ("" for nowhere).
    Scheduler(Campus& campus, const Clock& clock, History* history, const QString& stateFile,
              QObject* parent = nullptr);

    // The schedules of a configuration (read again): a schedule kept by name
    // keeps its last run; a new one starts from now.
    void SetSchedules(const QList<ScheduleConfig>& schedules, const RoomGroups& groups);
    // Runs what is due, records what was missed, and waits for the next.
    void Check();
    // Each schedule: name, at, days, rooms, commands, next, and its last run
    // with the outcome in each room.
    QJsonArray State() const;

private:
    struct Outcome {
        QString room, command, code, message;
    };
    struct Last {
        QDateTime handled; // the last run sent or missed
        bool missed = false;
        QList<Outcome> outcomes;
    };
    void run(const ScheduleConfig& schedule, const QStringList& rooms);
    void miss(const ScheduleConfig& schedule, const QStringList& rooms, const QDateTime& time);
    void restore(const QString& name, const QDateTime& handled);
    void load();
    void save();

    Campus& m_campus;
    const Clock& m_clock;
    History* m_history;
    QString m_stateFile;
    QList<ScheduleConfig> m_schedules;
    QMap<QString, QStringList> m_rooms; // schedule → its rooms
    QMap<QString, Last> m_last;         // schedule → its last run
    // schedule → its last run as the state file keeps it, also of schedules
    // taken out (for kLookBackDays)
    QMap<QString, QDateTime> m_saved;
    QTimer m_timer;
};
