// The projector protocol's lines: what the client sends ("%1POWR ?\r"),
// what the projector answers ("%1POWR=1\r", "%1POWR=ERR3\r"), its greeting
// ("PJLINK 0", "PJLINK 1 <random>", "PJLINK ERRA") and the password's digest.
// Every line ends with a carriage return and is at most kMaxLine bytes long.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCoreApplication>
#include <QString>

struct PjlinkRequest {
    int protocolClass = 1;
    QByteArray command;   // "POWR"
    QByteArray parameter; // "?" asks; anything else sets
    bool IsQuery() const { return parameter.startsWith('?'); }
    friend bool operator==(const PjlinkRequest&, const PjlinkRequest&) = default;
};

struct PjlinkAnswer {
    // The projector's outcomes: a value, "OK" for a setting, ERR1..ERR4.
    enum Kind { Value, Ok, Undefined, OutOfRange, Unavailable, Failure };
    int protocolClass = 1;
    QByteArray command;
    Kind kind = Value;
    QByteArray value;
};

struct PjlinkGreeting {
    enum Kind { Open, Challenge, AuthFailed };
    Kind kind = Open;
    QByteArray random; // with Challenge
};

class PjlinkMessage
{
    Q_DECLARE_TR_FUNCTIONS(PjlinkMessage)

public:
    // The longest line either side may send, its carriage return included.
    static constexpr qsizetype kMaxLine = 136;

    // "%1POWR ?\r"; `request` must be a known command with a parameter that fits.
    static QByteArray Encode(const PjlinkRequest& request);
    // The answer in `line` (its carriage return already taken off); false
    // with `error` saying what is wrong with it.
    static bool ParseAnswer(QByteArrayView line, PjlinkAnswer* answer, QString* error);
    static bool ParseGreeting(QByteArrayView line, PjlinkGreeting* greeting, QString* error);
    // The 32 lowercase hex digits sent before the first command when the
    // projector asks for the password: MD5 of its random then the password.
    static QByteArray Digest(const QByteArray& random, const QByteArray& password);
    // "the projector cannot do that now (ERR3)".
    static QString OutcomeText(PjlinkAnswer::Kind kind);
    // What a command does, for messages: "POWR" → "power"; the name itself
    // when it is none we know.
    static QString Meaning(const QByteArray& command);
    // Whether `command` is one we send in class `protocolClass`.
    static bool Known(int protocolClass, const QByteArray& command);
};
