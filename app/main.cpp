#include "app/CRemoteApp.h"
#include "app/CommandLine.h"
#include "app/ScaleFactor.h"
#include "app/SendCommand.h"
#include "control/AppIdentity.h"
#include "control/Language.h"
#include "control/Logging.h"
#include "parts/PartLoader.h"
#include "res/Resources.h"
#include "res/resource.h"
#include "res/templates.h"
#include "serial/DeviceChoice.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <optional>
#include <vector>

namespace
{
void SetIdentity()
{
    SetApplicationIdentity();
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMO_VERSION));
}

// Without a session bus in the environment, the bus library would start one
// of its own for the display (dbus-launch), which outlives the program. Lumo
// uses the user's bus where there is one, and otherwise none.
void UseOnlyARunningBus()
{
#if LUMO_DBUS && defined(Q_OS_UNIX)
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(QFile::decodeName(runtime + "/bus")))
        return; // the library finds the user's bus there by itself
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
#endif
}

// `lumo serve …` is the campus service, lumo-serve, which the panel does not
// link: it takes this process over with the same arguments.
int RunService(int argc, char* argv[])
{
    const QString program = PartLoader::Find(QStringLiteral("lumo-serve"));
#ifdef Q_OS_UNIX
    if (!program.isEmpty()) {
        const QByteArray path = QFile::encodeName(program);
        std::vector<char*> arguments{const_cast<char*>(path.constData())};
        arguments.insert(arguments.end(), argv + 2, argv + argc + 1);
        std::fflush(nullptr);
        ::execv(path.constData(), arguments.data());
        std::fprintf(stderr, "lumo serve: %s: %s\n", path.constData(), std::strerror(errno));
        return 1;
    }
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
#endif
    std::fprintf(stderr, "lumo serve: %s\n",
                 qPrintable(QCoreApplication::translate(
                     "main", "the campus service (lumo-serve) is not installed with this program")));
    return 2;
}

// Handles the command line before anything connects to a display, so that
// `lumo send`, --help, --version and mistakes need none. Returns the exit
// status when the program is to end here.
std::optional<int> HandleCommandLine(int argc, char* argv[])
{
    if (argc < 2)
        return std::nullopt; // started from the menu: nothing to look at
    QCoreApplication core(argc, argv);
    SetIdentity();
    Language::Install(core);
    if (qstrcmp(argv[1], "serve") == 0)
        return RunService(argc, argv);
    if (qstrcmp(argv[1], "send") == 0) {
        int status = 0;
        {
            QTextStream out(stdout);
            QTextStream err(stderr);
            status = SendCommand::Run(QCoreApplication::arguments().mid(1), out, err);
        }
        // Everything is said and the line is closed. Qt D-Bus's own thread
        // may still take a late message from the bus while the program's
        // types are torn down after main(), and warn about it on stderr, which
        // scripts read: a command that is done ends here.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    const CommandLine command = CommandLine::Parse(QCoreApplication::arguments());
    switch (command.action) {
    case CommandLine::Action::Fail:
        std::fprintf(stderr, "lumo: %s\n", command.text.toLocal8Bit().constData());
        return 2;
    case CommandLine::Action::ShowHelp:
    case CommandLine::Action::ShowVersion:
        std::fputs(command.text.toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Action::Run:
        break;
    }
    if (command.verbose)
        Logging::EnableAll();
    DeviceChoice::SetCommandLine(1, command.com1);
    DeviceChoice::SetCommandLine(2, command.com2);
    return std::nullopt;
}
} // namespace

int main(int argc, char* argv[])
{
    UseOnlyARunningBus();
    if (const auto status = HandleCommandLine(argc, argv))
        return *status;

    // Whole scale factors only: the pictures are pixel art and are enlarged
    // by whole pixels.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::Round);
    // ...and only as large as lets the panel fit on the screen.
    ScaleFactor::ChooseBeforeStart(argc, argv, kPanelTemplate.ClientSize());
    std::vector<char*> originalArgv(argv, argv + argc + 1); // QApplication takes its own out
    QApplication qapp(argc, argv);
    ScaleFactor::CheckAfterStart(originalArgv.data(), kPanelTemplate.ClientSize());
    SetIdentity();
    Language::Install(qapp);
    QApplication::setDesktopFileName(QStringLiteral("net.lumopanel.Lumo"));
    QApplication::setWindowIcon(Resources::Icon(IDR_MAINFRAME));

    CRemoteApp theApp;
    theApp.InitInstance();
    return 0;
}
