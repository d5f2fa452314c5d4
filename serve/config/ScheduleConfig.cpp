#include "serve/config/ScheduleConfig.h"

#include "control/CommandResolver.h"

#include <QTimeZone>

namespace
{
const QStringList kDays{QStringLiteral("mon"), QStringLiteral("tue"), QStringLiteral("wed"),
                        QStringLiteral("thu"), QStringLiteral("fri"), QStringLiteral("sat"),
                        QStringLiteral("sun")};

QStringList items(const QString& value)
{
    QStringList list;
    for (const QString& item : value.split(QLatin1Char(',')))
        if (!item.trimmed().isEmpty())
            list.append(item.trimmed());
    return list;
}

int dayNumber(const QString& name)
{
    return int(kDays.indexOf(name.toLower())) + 1; // 0: none
}
} // namespace

QString ScheduleConfig::Set(const QString& key, const QString& value)
{
    if (key == QLatin1String("at")) {
        at = QTime::fromString(value, QStringLiteral("HH:mm:ss"));
        if (!at.isValid())
            at = QTime::fromString(value, QStringLiteral("HH:mm"));
        if (!at.isValid())
            return tr("at=%1 is no time of day: write HH:MM or HH:MM:SS (22:00)").arg(value.left(40));
    } else if (key == QLatin1String("days")) {
        days = 0;
        for (const QString& item : items(value)) {
            const int first = dayNumber(item.section(QLatin1Char('-'), 0, 0));
            const int last = dayNumber(item.section(QLatin1Char('-'), -1));
            if (!first || !last || item.count(QLatin1Char('-')) > 1)
                return tr("days=%1: \"%2\" is no day or range of days (mon, tue, wed, thu, fri, "
                          "sat, sun; mon-fri)")
                    .arg(value.left(80), item.left(40));
            for (int d = first;; d = d % 7 + 1) { // sat-mon wraps round the week
                days |= 1 << (d - 1);
                if (d == last)
                    break;
            }
        }
        if (!days)
            return tr("days= names no day");
    } else if (key == QLatin1String("rooms")) {
        rooms = items(value);
        if (rooms.isEmpty())
            return tr("rooms= names no room (rooms, @groups, or all)");
    } else if (key == QLatin1String("commands")) {
        commands = items(value);
        for (const QString& word : std::as_const(commands))
            if (!CommandResolver::Resolve(word))
                return CommandResolver::UnknownMessage(word);
        if (commands.isEmpty() || commands.size() > 23)
            return tr("commands= takes 1 to 23 commands");
    } else if (key == QLatin1String("skip")) {
        skip.clear();
        for (const QString& item : items(value)) {
            const QDate from = QDate::fromString(item.section(QStringLiteral(".."), 0, 0), Qt::ISODate);
            const QDate to = QDate::fromString(item.section(QStringLiteral(".."), -1), Qt::ISODate);
            if (!from.isValid() || !to.isValid() || to < from)
                return tr("skip=: \"%1\" is no date or range of dates (2026-12-25, "
                          "2027-01-01..2027-01-03)")
                    .arg(item.left(40));
            skip.append({from, to});
        }
        if (skip.size() > kMaxSkips)
            return tr("skip= takes at most %1 dates or ranges").arg(kMaxSkips);
    } else {
        return tr("unknown key \"%1\" for schedule %2 (known: at, days, rooms, commands, skip)")
            .arg(key.left(64), name);
    }
    return {};
}

QString ScheduleConfig::Check() const
{
    if (!at.isValid())
        return tr("schedule %1 has no time (%1\\at=HH:MM)").arg(name);
    if (commands.isEmpty())
        return tr("schedule %1 has no commands (%1\\commands=…)").arg(name);
    if (rooms.isEmpty())
        return tr("schedule %1 has no rooms (%1\\rooms=all, rooms or @groups)").arg(name);
    return {};
}

QDateTime ScheduleConfig::On(QDate day) const
{
    if (!(days & (1 << (day.dayOfWeek() - 1))))
        return {};
    for (const auto& [from, to] : skip)
        if (day >= from && day <= to)
            return {};
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime wall(day, at, Qt::UTC); // the clock's reading, as if it were UTC
    // The offsets in force before and after the day: the earliest moment
    // whose local time is the reading.
    QDateTime first;
    const int before = zone.offsetFromUtc(wall.addSecs(-36 * 3600));
    for (const int offset : {before, zone.offsetFromUtc(wall.addSecs(36 * 3600))}) {
        const QDateTime moment = wall.addSecs(-offset);
        if (zone.offsetFromUtc(moment) == offset && (!first.isValid() || moment < first))
            first = moment;
    }
    if (first.isValid())
        return first;
    // The clock skipped the reading: the first moment after it is the change.
    const QTimeZone::OffsetData change = zone.previousTransition(wall.addSecs(-before));
    return change.atUtc.isValid() ? change.atUtc : wall.addSecs(-before);
}

QDateTime ScheduleConfig::NextAfter(const QDateTime& after) const
{
    const QDate today = after.toTimeZone(QTimeZone::systemTimeZone()).date();
    for (QDate day = today.addDays(-1); day <= today.addDays(kLookAheadDays); day = day.addDays(1))
        if (const QDateTime run = On(day); run.isValid() && run > after)
            return run;
    return {};
}
