// Which command a word from the command line or the bus means: the letter
// ("d"), the name ("projector-off", in any case) or the button's Chinese
// label ("投影机关"; the spaces drawn into some labels may be left out).
#pragma once

#include "control/Commands.h"

#include <QCoreApplication>
#include <QString>

class CommandResolver
{
    Q_DECLARE_TR_FUNCTIONS(CommandResolver)

public:
    // The command, or nullptr when the word names none.
    static const Command* Resolve(const QString& word);
    // The Chinese label of the command's button, as drawn on it.
    static QString Label(const Command& command);
    // The command's name, as `lumo send --list` shows it.
    static QString Name(const Command& command);
    // What the user is told about a word that names no command.
    static QString UnknownMessage(const QString& word);
};
