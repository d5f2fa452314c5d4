// lumo-serve: the campus service, a program of its own so that the panel
// never loads what the service needs (MQTT, TLS). `lumo serve …` runs it.
#include "control/AppIdentity.h"
#include "control/Language.h"
#include "control/ShutdownSignals.h"
#include "serve/ServeCommand.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    ShutdownSignals::HoldUntilHandled(); // before anything else, threads too
    QCoreApplication app(argc, argv);
    SetApplicationIdentity();
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMO_VERSION));
    Language::Install(app);
    int status = 0;
    {
        QTextStream in(stdin);
        QTextStream out(stdout);
        QTextStream err(stderr);
        status = ServeCommand::Run(QStringList{QStringLiteral("serve")}
                                       + QCoreApplication::arguments().mid(1),
                                   in, out, err);
    }
    // Everything is said and the lines are closed: what Qt's threads might
    // still print while the program's types are torn down is of no use.
    std::fflush(nullptr);
    std::_Exit(status);
}
