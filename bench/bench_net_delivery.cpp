// Whether short connections through ser2net deliver every byte, and what
// waiting for the server's confirmation costs. ser2net bridges a
// pseudo-terminal whose far side is read all along here; then:
//
// - clicks each followed at once by closing: CMSComm opens the rfc2217://
//   port, sends a letter and closes, as the panel does when it is closed
//   right after a click; the close is timed (it waits for the confirmation);
// - `lumo send --port rfc2217://… d` runs, timed from start to exit, beside
//   the same runs of another `lumo` when LUMO_BENCH_BASELINE names one (an
//   older build: the cost before and after);
// - `lumo send --port socket://… d` runs through ser2net's raw TCP port.
//
// Every byte must arrive; the exit status says whether all did. Arguments:
// the number of `lumo send` runs (default 1000) and of clicks (default 200).
#include "Pty.h"
#include "Ser2net.h"
#include "serial/CMSComm.h"
#include "serial/CommError.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace
{
constexpr int kRawRuns = 100;
constexpr int kBlock = 100;   // `lumo send` runs counted at a time
constexpr int kBusyMs = 5000; // ser2net lets the line go a moment after a client left

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Counts what arrives on the far side, all along.
class FarSide
{
public:
    explicit FarSide(int master) : m_thread([this, master] { run(master); }) {}
    ~FarSide()
    {
        m_stop = true;
        m_thread.join();
    }
    // What arrived once nothing more came for a moment.
    long settled()
    {
        long last = -1;
        while (last != m_count) {
            last = m_count;
            QThread::msleep(300);
        }
        return last;
    }

private:
    void run(int master)
    {
        char buffer[256];
        while (!m_stop) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0)
                    m_count += long(std::count(buffer, buffer + n, 'd'));
            }
        }
    }
    std::atomic<long> m_count{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct Runs {
    std::vector<double> ms; // start to exit, of runs that exited 0
    int failed = 0;
    int busy = 0; // "in use": ser2net had not yet let the previous client go; run again
};

// One `lumo send`, run again while ser2net still holds the line for the
// previous one.
void sendOnce(const QString& lumo, const QString& url, Runs& runs)
{
    const QDeadlineTimer deadline(kBusyMs);
    for (;;) {
        QProcess process;
        QElapsedTimer clock;
        clock.start();
        process.start(lumo,
                      {QStringLiteral("send"), QStringLiteral("--port"), url, QStringLiteral("d")});
        process.waitForFinished(30000);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
            runs.ms.push_back(ms);
            return;
        }
        const QByteArray said = process.readAllStandardError();
        if (said.contains("in use") && !deadline.hasExpired()) {
            ++runs.busy;
            QThread::msleep(5);
            continue;
        }
        ++runs.failed;
        std::fprintf(stderr, "lumo send failed: %s", said.constData());
        return;
    }
}

bool openRetrying(CMSComm& comm)
{
    const QDeadlineTimer deadline(kBusyMs);
    for (;;) {
        try {
            comm.SetPortOpen(true);
            return true;
        } catch (const CommError& e) {
            if (e.code() != CommErrorCode::PortBusy || deadline.hasExpired())
                return false;
            QThread::msleep(5);
        }
    }
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int sends = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int clicks = argc > 2 ? std::atoi(argv[2]) : 200;
    Pty pty;
    if (!pty.isValid()) {
        std::fprintf(stderr, "pty: %s\n", qPrintable(pty.error()));
        return 2;
    }
    Ser2net server(pty.slavePath());
    if (!server.start()) {
        std::fprintf(stderr, "ser2net: %s\n", qPrintable(server.error()));
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS"); // through the port, as from a timer
    const QString lumo = QStringLiteral(LUMO_EXE);
    const QString baseline = qEnvironmentVariable("LUMO_BENCH_BASELINE");
    FarSide far(pty.masterFd());
    bool allArrived = true;
    std::printf("ser2net %s and %s on 127.0.0.1, pseudo-terminal %s\n\n",
                qPrintable(server.rfc2217Url()), qPrintable(server.rawUrl()),
                qPrintable(pty.slavePath()));

    // Clicks each followed at once by closing, as the panel does.
    std::vector<double> closeMs;
    int clickFailures = 0;
    qputenv("LUMO_COM1", server.rfc2217Url().toUtf8());
    for (int i = 0; i < clicks; ++i) {
        CMSComm comm;
        try {
            if (!openRetrying(comm))
                throw CommError(CommErrorCode::PortBusy, QStringLiteral("never free"));
            comm.SetOutput(QStringLiteral("d"));
            QElapsedTimer clock;
            clock.start();
            comm.SetPortOpen(false);
            closeMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        } catch (const CommError& e) {
            ++clickFailures;
            std::fprintf(stderr, "click: %s\n", qPrintable(e.description()));
        }
    }
    const long clickBytes = far.settled();
    allArrived &= clickBytes == clicks && clickFailures == 0;
    std::printf("%-52s %5ld of %d bytes; closing (confirmation), median %.2f ms\n",
                "clicks each followed at once by closing, rfc2217://", clickBytes, clicks,
                median(closeMs));

    // `lumo send`, in blocks taking turns with the baseline when there is one.
    Runs current, before;
    long sendBytes = 0, beforeBytes = 0, counted = clickBytes;
    for (int done = 0; done < sends; done += kBlock) {
        const int n = std::min(kBlock, sends - done);
        for (int i = 0; i < n; ++i)
            sendOnce(lumo, server.rfc2217Url(), current);
        long now = far.settled();
        sendBytes += now - counted;
        counted = now;
        if (baseline.isEmpty())
            continue;
        for (int i = 0; i < n; ++i)
            sendOnce(baseline, server.rfc2217Url(), before);
        now = far.settled();
        beforeBytes += now - counted;
        counted = now;
    }
    allArrived &= sendBytes == sends && current.failed == 0;
    std::printf("%-52s %5ld of %d bytes; %zu exits 0, %d run again (in use)\n",
                "`lumo send` runs, rfc2217://", sendBytes, sends, current.ms.size(), current.busy);
    std::printf("%-52s %8.1f ms\n", "  start to exit, median", median(current.ms));
    if (!baseline.isEmpty()) {
        std::printf("%-52s %5ld of %d bytes; %zu exits 0, %d run again (in use)\n",
                    "  the baseline's runs", beforeBytes, sends, before.ms.size(), before.busy);
        std::printf("%-52s %8.1f ms (%s)\n", "  the baseline's start to exit, median",
                    median(before.ms), qPrintable(baseline));
        std::printf("%-52s %8.1f ms\n", "  added by the confirmation, median",
                    median(current.ms) - median(before.ms));
    }

    Runs rawRuns;
    for (int i = 0; i < kRawRuns; ++i)
        sendOnce(lumo, server.rawUrl(), rawRuns);
    const long rawBytes = far.settled() - counted;
    allArrived &= rawBytes == kRawRuns && rawRuns.failed == 0;
    std::printf("%-52s %5ld of %d bytes; start to exit, median %.1f ms\n",
                "`lumo send` runs, socket:// (raw TCP)", rawBytes, kRawRuns, median(rawRuns.ms));
    std::fflush(stdout);
    server.stop();
    if (!allArrived)
        std::fprintf(stderr, "bytes were lost or runs failed\n");
    return allArrived ? 0 : 1;
}
