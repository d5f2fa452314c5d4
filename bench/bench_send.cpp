// How long `lumo send projector-off` takes from the start of the process to
// the byte readable on the far end of the line: through a running panel on a
// private session bus, through the port itself with a bus but no panel, and
// with no bus at all (cron), beside the floor of a shell that starts and
// writes the same byte to the same pseudo-terminal. Rounds interleave the
// four so that all see the same machine load. The panel is an offscreen
// CPanelDlg in this process, registered on the bus as the program does.
#include "Pty.h"
#include "SessionBus.h"
#include "dialogs/CPanelDlg.h"
#include "serial/CMSComm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <unistd.h>

namespace
{
constexpr int kRounds = 100;
constexpr int kWaitMs = 10000;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Milliseconds from starting the program to the byte 'd' on the master;
// -1 when it did not come or the program failed.
double timeOne(int master, const QProcessEnvironment& env, const QString& program,
               const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(env);
    QSocketNotifier readable(master, QSocketNotifier::Read);
    QEventLoop loop;
    QElapsedTimer clock;
    double ms = -1;
    QObject::connect(&readable, &QSocketNotifier::activated, &loop, [&] {
        char c = 0;
        if (::read(master, &c, 1) == 1 && c == 'd')
            ms = double(clock.nsecsElapsed()) / 1e6;
        loop.quit();
    });
    QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
    clock.start();
    process.start(program, arguments);
    loop.exec();
    readable.setEnabled(false);
    // The panel in this process answers the bus only while events run.
    QEventLoop ending;
    QObject::connect(&process, &QProcess::finished, &ending, &QEventLoop::quit);
    QTimer::singleShot(kWaitMs, &ending, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        ending.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(kWaitMs);
        return -1;
    }
    return process.exitCode() == 0 ? ms : -1;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SessionBus bus;
    QTemporaryDir config;
    Pty pty;
    if (!bus.start() || !config.isValid() || !pty.isValid()) {
        std::fprintf(stderr, "cannot set up: %s\n", qPrintable(bus.errorString()));
        return 1;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toLocal8Bit());
    qputenv("LUMO_COM1", pty.slavePath().toLocal8Bit());

    QProcessEnvironment base; // as from a timer: no display
    base.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    base.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    base.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    base.insert(QStringLiteral("LUMO_COM1"), pty.slavePath());
    QProcessEnvironment withBus = base;
    withBus.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    QProcessEnvironment toPanel = withBus;
    toPanel.insert(QStringLiteral("LUMO_COM1"), QStringLiteral("/nonexistent/tty"));

    const QString lumo = QStringLiteral(LUMO_EXE);
    const QStringList send{QStringLiteral("send"), QStringLiteral("projector-off")};
    std::vector<double> panel, port, noBus, floor;
    int failures = 0;
    const auto keep = [&](std::vector<double>& into, double ms) {
        if (ms < 0)
            ++failures;
        else
            into.push_back(ms);
    };
    for (int round = 0; round < kRounds; ++round) {
        {
            CMSComm serial;
            serial.SetPortOpen(true);
            CPanelDlg dialog(serial);
            keep(panel, timeOne(pty.masterFd(), toPanel, lumo, send));
        }
        keep(port, timeOne(pty.masterFd(), withBus, lumo, send));
        keep(noBus, timeOne(pty.masterFd(), base, lumo, send));
        keep(floor, timeOne(pty.masterFd(), base, QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), QStringLiteral("printf d > \"$LUMO_COM1\"")}));
    }

    std::printf("\n`lumo send projector-off`: start to byte on the pty, median of %d (ms)\n\n",
                kRounds);
    std::printf("%-40s %8.1f\n", "through the running panel (D-Bus)", median(panel));
    std::printf("%-40s %8.1f\n", "through the port, bus without panel", median(port));
    std::printf("%-40s %8.1f\n", "through the port, no session bus", median(noBus));
    std::printf("%-40s %8.1f\n", "floor: sh -c 'printf d > pty'", median(floor));
    if (failures)
        std::fprintf(stderr, "%d run(s) failed or lost the byte\n", failures);
    return failures ? 1 : 0;
}
