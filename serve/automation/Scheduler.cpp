#include "serve/automation/Scheduler.h"

#include "control/CommandEntry.h"
#include "control/CommandResolver.h"
#include "control/Logging.h"
#include "serve/rooms/Campus.h"
#include "serve/automation/Clock.h"
#include "serve/history/History.h"
#include "serve/config/RoomGroups.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSaveFile>

#include <memory>

namespace
{
constexpr qint64 kMaxStateBytes = 1024 * 1024;

QString iso(const QDateTime& time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString();
}
} // namespace

Scheduler::Scheduler(Campus& campus, const Clock& clock, History* history,
                     const QString& stateFile, QObject* parent)
    : QObject(parent), m_campus(campus), m_clock(clock), m_history(history),
      m_stateFile(stateFile)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Scheduler::Check);
    load();
}

void Scheduler::SetSchedules(const QList<ScheduleConfig>& schedules, const RoomGroups& groups)
{
    const QDateTime now = m_clock.Now();
    m_rooms.clear();
    QMap<QString, Last> kept;
    bool added = false;
    for (const ScheduleConfig& schedule : schedules) {
        QString error;
        m_rooms.insert(schedule.name, groups.Expand(schedule.rooms, &error).value_or(QStringList()));
        Last last = m_last.value(schedule.name);
        const auto before = std::find_if(m_schedules.begin(), m_schedules.end(),
                                         [&](const ScheduleConfig& s) { return s.name == schedule.name; });
        if (before != m_schedules.end() && !(*before == schedule))
            last.handled = std::max(last.handled, now); // changed: from now on
        if (!last.handled.isValid()) {
            // Known from before (a restart, or taken out and put back): from
            // its last run; new: from now, kept at once so that a restart
            // knows what it missed.
            added = added || !m_saved.contains(schedule.name);
            last.handled = m_saved.contains(schedule.name)
                               ? std::max(m_saved.value(schedule.name), now.addDays(-kLookBackDays))
                               : now;
            restore(schedule.name, last.handled);
        }
        kept.insert(schedule.name, last);
    }
    m_schedules = schedules;
    m_last = kept;
    if (added)
        save();
    Check();
}

// The outcomes of a schedule's last run, from the history (a restart).
void Scheduler::restore(const QString& name, const QDateTime& handled)
{
    if (!m_history || !m_saved.contains(name))
        return;
    HistoryFilter filter;
    filter.faces = {CommandResult::FaceName(Face::Schedule)};
    filter.who = {name};
    filter.since = handled;
    filter.limit = kMaxOutcomes;
    QPointer<Scheduler> self(this);
    m_history->Find(filter, [self, name, handled](const QList<HistoryRecord>& entries, const QString&) {
        if (!self || !self->m_last.contains(name))
            return;
        Last& last = self->m_last[name];
        if (last.handled != handled || !last.outcomes.isEmpty())
            return; // it ran since
        for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
            last.outcomes.append({it->room, it->command, it->code, it->message});
            last.missed = it->code == QLatin1String("missed");
        }
    });
}

void Scheduler::Check()
{
    const QDateTime now = m_clock.Now();
    QDateTime wake = now.addMSecs(kLookEveryMs);
    for (const ScheduleConfig& schedule : std::as_const(m_schedules)) {
        Last& last = m_last[schedule.name];
        for (QDateTime time = schedule.NextAfter(last.handled); time.isValid() && time <= now;
             time = schedule.NextAfter(time)) {
            last.handled = time;
            save(); // before anything goes out: a run is never sent twice
            if (time.msecsTo(now) <= kStartWithinMs)
                run(schedule, m_rooms.value(schedule.name));
            else
                miss(schedule, m_rooms.value(schedule.name), time);
        }
        if (const QDateTime next = schedule.NextAfter(last.handled); next.isValid())
            wake = std::min(wake, next);
    }
    m_timer.start(int(std::clamp<qint64>(now.msecsTo(wake), 0, kLookEveryMs)));
}

void Scheduler::run(const ScheduleConfig& schedule, const QStringList& rooms)
{
    qCInfo(lcServe).noquote() << "schedule" << schedule.name << "runs in" << rooms.size() << "rooms";
    Last& last = m_last[schedule.name];
    last.missed = false;
    last.outcomes.clear();
    const QString name = schedule.name;
    for (const QString& word : schedule.commands)
        CommandEntry::SendEach(
            m_campus, rooms, {{}, word, Face::Schedule, name},
            [this, name, rooms, word, handled = last.handled](const QList<CommandResult>& results) {
                Last& last = m_last[name];
                if (last.handled != handled)
                    return; // a later run is under way
                for (qsizetype i = 0; i < results.size(); ++i)
                    last.outcomes.append({rooms[i], word, results[i].CodeName(), results[i].message});
            });
}

void Scheduler::miss(const ScheduleConfig& schedule, const QStringList& rooms, const QDateTime& time)
{
    const QString message = tr("not sent: its time %1 passed while the service could not run it")
                                .arg(time.toLocalTime().toString(Qt::ISODate));
    qCWarning(lcServe).noquote() << "schedule" << schedule.name << message;
    Last& last = m_last[schedule.name];
    last.missed = true;
    last.outcomes.clear();
    for (const QString& word : schedule.commands)
        for (const QString& room : rooms) {
            const Command* known = CommandResolver::Resolve(word);
            const QString command = known ? CommandResolver::Name(*known) : word;
            last.outcomes.append({room, command, QStringLiteral("missed"), message});
            if (m_history)
                m_history->Add({0, time, room, command, schedule.name,
                                CommandResult::FaceName(Face::Schedule), QStringLiteral("missed"),
                                message, {}});
        }
}

QJsonArray Scheduler::State() const
{
    QJsonArray list;
    for (const ScheduleConfig& schedule : m_schedules) {
        const Last last = m_last.value(schedule.name);
        QJsonArray outcomes;
        for (const Outcome& o : last.outcomes)
            outcomes.append(QJsonObject{{"room", o.room},
                                        {"command", o.command},
                                        {"code", o.code},
                                        {"error", o.message}});
        QStringList days;
        for (int d = 0; d < 7; ++d)
            if (schedule.days & (1 << d))
                days.append(QLocale::c().dayName(d + 1, QLocale::ShortFormat).toLower());
        list.append(QJsonObject{
            {"name", schedule.name},
            {"at", schedule.at.toString(QStringLiteral("HH:mm:ss"))},
            {"days", QJsonArray::fromStringList(days)},
            {"rooms", QJsonArray::fromStringList(schedule.rooms)},
            {"commands", QJsonArray::fromStringList(schedule.commands)},
            {"next", iso(schedule.NextAfter(std::max(last.handled, m_clock.Now())))},
            {"last", last.outcomes.isEmpty() ? QJsonValue()
                                             : QJsonObject{{"at", iso(last.handled)},
                                                           {"missed", last.missed},
                                                           {"results", outcomes}}}});
    }
    return list;
}

void Scheduler::load()
{
    QFile file(m_stateFile);
    if (m_stateFile.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject saved = QJsonDocument::fromJson(file.read(kMaxStateBytes)).object();
    for (auto it = saved.begin(); it != saved.end(); ++it)
        if (const QDateTime time = QDateTime::fromString(it.value().toString(), Qt::ISODate);
            time.isValid())
            m_saved.insert(it.key(), time);
}

void Scheduler::save()
{
    // Schedules taken out are kept too (for a while), so that one put back
    // does not run again what it ran.
    const QDateTime old = m_clock.Now().addDays(-kLookBackDays);
    for (auto it = m_last.begin(); it != m_last.end(); ++it)
        m_saved.insert(it.key(), it.value().handled);
    m_saved.removeIf([&](const auto& it) { return it.value() < old; });
    if (m_stateFile.isEmpty())
        return;
    QJsonObject saved;
    for (auto it = m_saved.begin(); it != m_saved.end(); ++it)
        saved.insert(it.key(), iso(it.value()));
    QSaveFile file(m_stateFile);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(saved).toJson(QJsonDocument::Compact)) < 0 || !file.commit())
        qCWarning(lcServe).noquote() << "the last runs of the schedules cannot be kept in"
                                     << m_stateFile << ":" << file.errorString();
}
