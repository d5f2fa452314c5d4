#include "control/CommandResolver.h"

#include "res/Utf8.h"
#include "serial/InputLimit.h"

#include <algorithm>

namespace
{
QString withoutSpaces(QString text)
{
    text.remove(QLatin1Char(' '));
    return text;
}
} // namespace

QString CommandResolver::Label(const Command& command)
{
    return FromUtf8(command.label);
}

QString CommandResolver::Name(const Command& command)
{
    return FromUtf8(command.name);
}

QString CommandResolver::UnknownMessage(const QString& word)
{
    return tr("unknown command \"%1\" (lumo send --list shows them)").arg(InputLimit::Quoted(word));
}

const Command* CommandResolver::Resolve(const QString& word)
{
    if (word.size() > InputLimit::kArgument)
        return nullptr; // no command is near that long
    const QString bare = withoutSpaces(word.trimmed());
    if (bare.isEmpty())
        return nullptr;
    const auto found = std::find_if(kCommands.begin(), kCommands.end(), [&](const Command& c) {
        return bare == QChar::fromLatin1(c.letter) ||
               bare.compare(Name(c), Qt::CaseInsensitive) == 0 || bare == withoutSpaces(Label(c));
    });
    return found == kCommands.end() ? nullptr : &*found;
}
