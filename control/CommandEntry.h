// The one way in for a command, from every face: the word from outside (a
// letter, an English name or the button's Chinese label) is bounded and
// resolved here and nowhere else, the destination checked, the command
// delivered, and one CommandResult comes back.
#pragma once

#include "control/CommandResult.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class CommandTarget;

class CommandEntry
{
    Q_DECLARE_TR_FUNCTIONS(CommandEntry)

public:
    struct Request {
        QString target; // the room; "" for the only line of a target
        QString word;   // as given: letter, name or label
        Face face = Face::Panel;
        QString who; // a user, a token's name, an address: for the log
    };
    using DoneEach = std::function<void(const QList<CommandResult>&)>;

    // The command `word` names, or nullptr with `refusal` (unknown-command)
    // saying why.
    static const Command* Resolve(const QString& word, CommandResult* refusal);
    // Delivers the command of `request` to its target among `targets`;
    // `done` gets the result once, on this thread.
    static void Send(CommandTarget& targets, const Request& request, CommandResult::Done done);
    // The same for each of `names` at once; `done` gets their results in
    // the order of `names` once the last has answered.
    static void SendEach(CommandTarget& targets, const QStringList& names, const Request& request,
                         DoneEach done);
};
