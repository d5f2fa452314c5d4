#include "control/CommandEntry.h"

#include "control/CommandResolver.h"
#include "control/CommandTarget.h"

#include <memory>

const Command* CommandEntry::Resolve(const QString& word, CommandResult* refusal)
{
    if (const Command* command = CommandResolver::Resolve(word))
        return command;
    *refusal = CommandResult::Failed(nullptr, CommandResult::Code::UnknownCommand,
                                     CommandResolver::UnknownMessage(word));
    return nullptr;
}

void CommandEntry::Send(CommandTarget& targets, const Request& request, CommandResult::Done given)
{
    // Whatever becomes of it, the target takes note before it is answered.
    const auto done = [&targets, request, given](const CommandResult& result) {
        targets.Record(request, result, given);
    };
    CommandResult refusal;
    const Command* command = Resolve(request.word, &refusal);
    if (!command) {
        done(refusal);
        return;
    }
    if (!targets.Has(request.target)) {
        done(CommandResult::Failed(command, CommandResult::Code::NoSuchRoom,
                                   tr("there is no room \"%1\"").arg(request.target.left(64))));
        return;
    }
    targets.Deliver(request.target, *command, done);
}

void CommandEntry::SendEach(CommandTarget& targets, const QStringList& names,
                            const Request& request, DoneEach done)
{
    if (names.isEmpty()) {
        done({});
        return;
    }
    auto results = std::make_shared<QList<CommandResult>>(names.size());
    auto left = std::make_shared<qsizetype>(names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        Request one = request;
        one.target = names[i];
        Send(targets, one, [results, left, i, done](const CommandResult& result) {
            (*results)[i] = result;
            if (--*left == 0)
                done(*results);
        });
    }
}
