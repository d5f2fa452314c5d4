// What became of one command from any face (the panel, the session bus,
// `lumo send`, the phone remote, the campus page, its JSON interface, MQTT):
// the command, an outcome code that programs can switch on, and the message
// a person is shown. The codes are a small closed set, named once here; the
// JSON interface and MQTT carry them as "code".
#pragma once

#include "control/Outcome.h"

#include <QCoreApplication>
#include <QString>

#include <functional>

struct Command;

// Where a command came from.
// Projector: the campus service's check that a room's projector followed
// projector-on or -off.
enum class Face { Panel, Bus, Send, Phone, Page, Api, Mqtt, Schedule, Idle, Projector };

class CommandResult
{
    Q_DECLARE_TR_FUNCTIONS(CommandResult)

public:
    enum class Code {
        Sent,           // the line took it
        NotConfirmed,   // written, but the line did not confirm it: it may have arrived
        UnknownCommand, // the word names no command
        NoSuchRoom,     // the target names no room of this service
        InUse,          // another program holds the line
        Disconnected,   // the line was lost, or is not open
        Unreachable,    // the line cannot be opened: no device, no server, refused
        Busy,           // too much is waiting for the line: not sent, and never will be
        NotSent,        // any other failure: nothing went out
        NotFollowed,    // sent, but the room's projector did not switch within its time
    };
    using Done = std::function<void(const CommandResult&)>;

    // The command's outcome on a line (nullptr: opening it, no command).
    static CommandResult Of(const Command* command, const Outcome& outcome);
    static CommandResult Failed(const Command* command, Code code, QString message);

    // "sent", "not-confirmed", …: the code's name in answers and results.
    static QString CodeName(Code code);
    static QString FaceName(Face face);

    const Command* command = nullptr; // nullptr when the word named none
    Code code = Code::NotSent;
    QString message; // empty when sent
    // False when the campus service carried the command out but could not
    // record it in its history.
    bool recorded = true;

    bool Sent() const { return code == Code::Sent; }
    QString CodeName() const { return CodeName(code); }
};
