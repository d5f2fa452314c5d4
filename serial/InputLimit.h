// Bounds on every name and value that comes from outside the program (the
// command line, the environment, the settings, the session bus). Anything
// longer is refused at once, before any work is done on it, and a message
// quotes no more than the start of it.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <optional>

class InputLimit
{
    Q_DECLARE_TR_FUNCTIONS(InputLimit)

public:
    // A device's path or URL, in characters: far longer than any real one
    // (a path under /dev/serial/by-id has about 70).
    static constexpr qsizetype kDeviceName = 1024;
    // One argument of a command line, or one call from the bus: a device
    // name with its option, or a few command words.
    static constexpr qsizetype kArgument = 2048;
    // What a message quotes of a value, in characters.
    static constexpr qsizetype kQuoted = 120;

    // `value` as a message quotes it: its start and its end, with "…" for
    // what is left out, kQuoted characters at most.
    static QString Quoted(const QString& value);
    // "the device name "/dev/tty…" is 10485760 characters long; at most
    // 1024 are taken", for `what` ("the device name") longer than `limit`.
    static QString TooLong(const QString& what, const QString& value, qsizetype limit);
    // The message for the first of `arguments` longer than kArgument, if any.
    static std::optional<QString> CheckArguments(const QStringList& arguments);
};
