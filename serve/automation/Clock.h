// What time it is, for what the campus service does by itself (schedules,
// the idle switch-off): the system's clock, or a test's.
#pragma once

#include <QDateTime>

class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime Now() const { return QDateTime::currentDateTimeUtc(); }
};
