// One entry of [schedule] in serve.conf, NAME\KEY=VALUE:
//
//   night\at=22:00                 HH:MM or HH:MM:SS, the server's local time
//   night\days=mon-fri             days and ranges of days (default: every day)
//   night\rooms=all                rooms, @groups, or all
//   night\commands=projector-off, screen-up
//   night\skip=2026-12-25, 2027-01-01..2027-01-03
//
// A time that does not exist on a day (the clock goes forward) runs at the
// first moment after it; a time that occurs twice runs at the first.
#pragma once

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QTime>

#include <utility>

class ScheduleConfig
{
    Q_DECLARE_TR_FUNCTIONS(ScheduleConfig)

public:
    static constexpr int kMaxSkips = 400;
    // How far ahead the next run is looked for.
    static constexpr int kLookAheadDays = 400;

    // Takes `key` (at, days, rooms, commands, skip) of this schedule; what is
    // wrong with `value`, or nothing.
    QString Set(const QString& key, const QString& value);
    // What is missing, or nothing.
    QString Check() const;

    // When it runs on `day` (UTC), or invalid when it does not run that day.
    QDateTime On(QDate day) const;
    // Its first run after `after`, or invalid when none is within kLookAheadDays.
    QDateTime NextAfter(const QDateTime& after) const;

    QString name;
    QTime at;
    int days = 0x7f; // bit d-1 for Qt::DayOfWeek d
    QStringList rooms, commands;
    QList<std::pair<QDate, QDate>> skip;
    int line = 0;

    bool operator==(const ScheduleConfig&) const = default;
};
