// The program's command line: --help, --version, --com1 DEVICE, --com2 DEVICE,
// --verbose,
// and the options Qt itself takes (-platform, -display, ...), which are
// passed on to it.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
public:
    enum class Action { Run, ShowHelp, ShowVersion, Fail };

    // `arguments` as QCoreApplication::arguments() gives them, program first.
    static CommandLine Parse(const QStringList& arguments);

    Action action = Action::Run;
    QString com1, com2;   // devices given for this run, or empty
    bool verbose = false; // trace the work on stderr
    QString text;         // the help, the version or the one-line error
};
