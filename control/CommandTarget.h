// Where the one entry point (CommandEntry) delivers a command: the line the
// panel or `lumo send` holds, or the rooms of the campus service. A target
// knows the destinations it has by name ("" for a target with one line).
#pragma once

#include "control/CommandEntry.h"
#include "control/CommandResult.h"

#include <QString>

struct Command;

class CommandTarget
{
public:
    virtual ~CommandTarget() = default;

    // Whether `name` is one of its destinations.
    virtual bool Has(const QString& name) const = 0;
    // Delivers the command to `name`; `done` gets what became of it once, on
    // the caller's thread (at once, or later for a target that works apart).
    virtual void Deliver(const QString& name, const Command& command,
                         CommandResult::Done done) = 0;
    // Every answer of the one entry point to this target passes here, a
    // refusal too: `done` gets it once the target has taken note of it (a
    // target that keeps no record passes it on at once).
    virtual void Record(const CommandEntry::Request& request, const CommandResult& result,
                        CommandResult::Done done)
    {
        Q_UNUSED(request);
        done(result);
    }
};
