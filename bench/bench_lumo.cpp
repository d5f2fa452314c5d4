// Lumo against its floors, every pair measured in the same run:
//
//  1. launch to the port dialog mapped, beside a bare Qt dialog with three
//     controls (bench_bare_dialog), both started fresh each run on a private
//     Xvfb with no window manager and watched from outside through MapNotify;
//  2. a click on "确定" (XTEST, at the template position) to the panel mapped;
//  3. resident memory with the panel shown, beside the bare dialog's, and
//     whether Qt Network is mapped then (it must not be: only the parts
//     that need it bring it in);
//  4. in-process, offscreen: a QTest click on a panel button to its letter
//     readable on the pty master, beside raw write() + read() on the same pair;
//  5. a burst of clicks over all 23 buttons: every letter, in order.
//
// Prints one table, medians over kRuns runs (kSamples for 4). Missed targets
// are reported, never fatal; a lost or reordered letter exits 1, a figure
// that could not be taken (no Xvfb, a window never mapped) exits 2.
#include "Pty.h"
#include "Ser2net.h"
#include "XServerProbe.h"

#include "control/Commands.h"
#include "dialogs/CPanelDlg.h"
#include "dialogs/ErrorReporter.h"
#include "res/templates.h"
#include "serial/CMSComm.h"
#include "serial/CommError.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
using Clock = XServerProbe::Clock;

constexpr int kRuns = 15;
constexpr int kMapTimeoutMs = 30'000;
constexpr int kSettleMs = 500; // after mapping: first paint done before a click or RSS
constexpr int kWarmUp = 200;
constexpr int kSamples = 5'000;
constexpr int kBurst = 10'000;
constexpr int kWaitMs = 2'000; // a letter not seen by then is lost

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}
double us(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double quantile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::size_t(std::ceil(q * double(v.size()))) - 1];
}
double median(const std::vector<double>& v)
{
    return quantile(v, 0.5);
}

void sleepMs(int n)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(n));
}

// Starts `argv` with its stdout (and its stderr if `quiet`) going nowhere;
// `keepFd`, if any, becomes its fd 3.
pid_t spawn(std::vector<const char*> argv, bool quiet = false, int keepFd = -1)
{
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        if (quiet)
            ::dup2(null, STDERR_FILENO);
        if (keepFd >= 0)
            ::dup2(keepFd, 3);
        ::execvp(argv[0], const_cast<char* const*>(argv.data()));
        std::_Exit(127);
    }
    return pid;
}

void stop(pid_t pid)
{
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

double rssMiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string key; status >> key;) {
        if (key == "VmRSS:") {
            double kib = 0;
            status >> kib;
            return kib / 1024;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// Whether the process has Qt Network mapped.
bool mapsQtNetwork(pid_t pid)
{
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find("libQt6Network") != std::string::npos)
            return true;
    }
    return false;
}

// A private X server; returns its display (":N"), empty when it did not start.
std::string startXvfb(pid_t& pid)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    pid = spawn({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                true, fds[1]);
    ::close(fds[1]);
    std::string number;
    char c = 0;
    pollfd p{fds[0], POLLIN, 0};
    while (::poll(&p, 1, 10'000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(fds[0]);
    return number.empty() ? std::string() : ":" + number;
}

int readByte(int fd)
{
    pollfd p{fd, POLLIN, 0};
    unsigned char c = 0;
    return ::poll(&p, 1, kWaitMs) > 0 && ::read(fd, &c, 1) == 1 ? c : -1;
}

struct DesktopFigures {
    std::vector<double> bareLaunch, lumoLaunch, panel, bareRss, lumoRss, ser2netPanel;
    int networkMapped = 0; // runs with a local port whose panel had Qt Network mapped
};

struct LumoRun {
    double launchMs = 0, panelMs = 0, rss = 0;
    bool shown = false;
    bool networkMapped = false;
};

// Starts Lumo with COM1 on `device`, confirms, and waits for the panel.
LumoRun runLumo(XServerProbe& x, const std::string& device, QPoint confirm)
{
    const std::string portName(kPortTemplate.caption), panelName(kPanelTemplate.caption);
    ::setenv("LUMO_COM1", device.c_str(), 1);
    x.Discard();
    LumoRun r;
    const auto t0 = Clock::now();
    const pid_t pid = spawn({LUMO_EXE});
    const auto m = x.WaitMapped(portName, kMapTimeoutMs);
    if (m.window) {
        sleepMs(kSettleMs);
        int cx = confirm.x(), cy = confirm.y();
        x.ToRoot(m.window, cx, cy);
        const auto t1 = Clock::now();
        x.Click(cx, cy);
        const auto panel = x.WaitMapped(panelName, kMapTimeoutMs);
        sleepMs(kSettleMs);
        r = {ms(m.when - t0), ms(panel.when - t1), rssMiB(pid), panel.window != 0,
             mapsQtNetwork(pid)};
    }
    stop(pid);
    return r;
}

// Figures 1 to 3, and confirm to panel with COM1 behind ser2net when it
// runs; false when a window never came.
bool measureOnX(const std::string& display, DesktopFigures& f)
{
    ::setenv("DISPLAY", display.c_str(), 1);
    ::unsetenv("QT_QPA_PLATFORM");
    XServerProbe x(display);
    if (!x.IsConnected())
        return false;
    const QPoint confirm = kPortTemplate.ToPixels(*kPortTemplate.Find(IDC_CONFIRM)).center();
    Pty behindSer2net;
    Ser2net ser2net(behindSer2net.slavePath());
    const bool withSer2net = ser2net.start();
    if (!withSer2net)
        std::fprintf(stderr, "no figure through ser2net: %s\n", qPrintable(ser2net.error()));

    for (int run = -1; run < kRuns; ++run) { // run -1 warms the caches up
        x.Discard();
        auto t0 = Clock::now();
        pid_t pid = spawn({BARE_DIALOG_EXE});
        auto m = x.WaitMapped("bare", kMapTimeoutMs);
        sleepMs(kSettleMs);
        const double bareRss = rssMiB(pid);
        stop(pid);
        if (!m.window)
            return false;
        if (run >= 0) {
            f.bareLaunch.push_back(ms(m.when - t0));
            f.bareRss.push_back(bareRss);
        }

        Pty com1;
        const LumoRun local = runLumo(x, com1.slavePath().toStdString(), confirm);
        if (!local.shown)
            return false;
        if (run >= 0) {
            f.lumoLaunch.push_back(local.launchMs);
            f.panel.push_back(local.panelMs);
            f.lumoRss.push_back(local.rss);
            f.networkMapped += local.networkMapped;
        }
        if (withSer2net) {
            const LumoRun remote = runLumo(x, ser2net.rfc2217Url().toStdString(), confirm);
            if (!remote.shown)
                return false;
            if (run >= 0)
                f.ser2netPanel.push_back(remote.panelMs);
        }
    }
    return true;
}

struct ClickFigures {
    std::vector<double> clickUs, floorUs;
    std::size_t burstArrived = 0;
    bool burstOrdered = false;
    double clicksPerSecond = 0;
    int faults = 0;
};

// Figures 4 and 5, on the offscreen platform in this process.
void measureClicks(int argc, char** argv, ClickFigures& f)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    Pty line;
    ::setenv("LUMO_COM1", qPrintable(line.slavePath()), 1);
    QApplication app(argc, argv);
    ErrorReporter::SetHandler([&](QWidget*, const QString& text, ErrorReporter::Kind) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        ++f.faults;
    });
    CMSComm comm;
    comm.SetPortOpen(true);
    comm.SetSettings(QStringLiteral("9600,n,8,1"));
    CPanelDlg panel(comm);
    panel.show();
    QApplication::processEvents();
    const auto button = [&](int id) { return static_cast<QAbstractButton*>(panel.Control(id)); };

    QAbstractButton* on = button(IDC_TOUYINGKAI); // sends 'c'
    for (int i = 0; i < kWarmUp + kSamples; ++i) {
        auto t0 = Clock::now();
        QTest::mouseClick(on, Qt::LeftButton);
        f.faults += readByte(line.masterFd()) != 'c';
        const double click = us(Clock::now() - t0);
        t0 = Clock::now();
        f.faults += ::write(line.slaveFd(), "c", 1) != 1 || readByte(line.masterFd()) != 'c';
        const double floor = us(Clock::now() - t0);
        if (i >= kWarmUp) {
            f.clickUs.push_back(click);
            f.floorUs.push_back(floor);
        }
    }

    // The terminal buffers a few KiB only: a second thread drains it.
    std::string sent, received;
    for (int i = 0; i < kBurst; ++i)
        sent += kCommands[std::size_t(i) % kCommands.size()].letter;
    received.reserve(sent.size());
    Clock::time_point last;
    std::thread reader([&] {
        char buf[4096];
        while (received.size() < sent.size()) {
            pollfd p{line.masterFd(), POLLIN, 0};
            const ssize_t n =
                ::poll(&p, 1, kWaitMs) > 0 ? ::read(line.masterFd(), buf, sizeof buf) : 0;
            if (n <= 0)
                break; // quiet for too long: the rest is lost
            received.append(buf, std::size_t(n));
            last = Clock::now();
        }
    });
    const auto start = Clock::now();
    for (int i = 0; i < kBurst; ++i)
        QTest::mouseClick(button(kCommands[std::size_t(i) % kCommands.size()].controlId),
                          Qt::LeftButton);
    reader.join();
    f.burstArrived = received.size();
    f.burstOrdered = received == sent;
    f.faults += !f.burstOrdered;
    f.clicksPerSecond = received.empty() ? 0 : double(received.size()) / (us(last - start) / 1e6);
    comm.SetPortOpen(false);
}

void row(const char* figure, double lumo, double reference, const char* refName, const char* target,
         bool met)
{
    const char* verdict = *target == '-' ? "" : met ? ": met" : ": MISSED";
    std::printf("%-30s %9.2f %9.2f  %-20s %6.2fx  %s%s\n", figure, lumo, reference, refName,
                lumo / reference, target, verdict);
}
} // namespace

int main(int argc, char** argv)
{
    ::signal(SIGPIPE, SIG_IGN);
    char runtimeDir[] = "/tmp/lumo-bench-XXXXXX"; // Qt wants one; a container may have none
    if (!std::getenv("XDG_RUNTIME_DIR") && ::mkdtemp(runtimeDir))
        ::setenv("XDG_RUNTIME_DIR", runtimeDir, 1);
    DesktopFigures d;
    pid_t xvfb = -1;
    const std::string display = startXvfb(xvfb);
    const bool onX = !display.empty() && measureOnX(display, d);
    if (xvfb > 0)
        stop(xvfb);
    if (!onX)
        std::fprintf(stderr,
                     "no figures from X (%s): Xvfb did not start or a window never "
                     "mapped\n",
                     display.empty() ? "no Xvfb" : display.c_str());

    ClickFigures c;
    try {
        measureClicks(argc, argv, c);
    } catch (const CommError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }

    std::printf("\nmedians of %d runs (clicks: of %d samples after %d to warm up)\n\n", kRuns,
                kSamples, kWarmUp);
    std::printf("%-30s %9s %9s  %-20s %7s  %s\n", "figure", "Lumo", "reference", "", "ratio",
                "target");
    if (onX) {
        const double bare = median(d.bareLaunch), launch = median(d.lumoLaunch);
        const double panel = median(d.panel), bareRss = median(d.bareRss);
        const double rss = median(d.lumoRss);
        row("launch to dialog mapped (ms)", launch, bare, "bare dialog", "<= 1.1x",
            launch <= 1.1 * bare);
        row("confirm to panel mapped (ms)", panel, bare, "bare dialog launch", "<= 1.5x",
            panel <= 1.5 * bare);
        row("resident memory (MiB)", rss, bareRss, "bare dialog", "<= 1.15x",
            rss <= 1.15 * bareRss);
        std::printf("%-30s %9d %9s  %-20s %7s  none%s\n", "Qt Network mapped (runs)",
                    d.networkMapped, "-", "panel on a local port", "",
                    d.networkMapped == 0 ? ": met" : ": MISSED");
        if (!d.ser2netPanel.empty())
            row("confirm to panel, ser2net (ms)", median(d.ser2netPanel), panel,
                "local port's confirm", "-", true);
    }
    const double click = median(c.clickUs), floor = median(c.floorUs);
    row("click to byte, median (us)", click, floor, "write()+read()", "<= 10x and < 100 us",
        click <= 10 * floor && click < 100);
    row("click to byte, p99 (us)", quantile(c.clickUs, 0.99), quantile(c.floorUs, 0.99),
        "write()+read()", "-", true);
    std::printf("%-30s %9.0f %9s  %-20s %7s  all %d in order: %zu arrived, %s\n",
                "burst of clicks (clicks/s)", c.clicksPerSecond, "-", "", "", kBurst,
                c.burstArrived, c.burstOrdered ? "in order: met" : "LOST OR REORDERED");
    std::fflush(stdout);
    ::rmdir(runtimeDir);
    if (c.faults) {
        std::fprintf(stderr, "%d letter(s) lost, wrong or out of order\n", c.faults);
        return 1;
    }
    return onX ? 0 : 2;
}
