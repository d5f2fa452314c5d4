// A time as the configuration writes it: "90s", "30m", "2h", "365d" or
// plain seconds.
#pragma once

#include <QString>

#include <optional>

class Duration
{
public:
    // The seconds `value` says; nullopt when it is no such time.
    static std::optional<qint64> Seconds(const QString& value);
};
