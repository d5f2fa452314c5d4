// A click's letter through ser2net over loopback: CMSComm::SetOutput on an
// rfc2217:// port until the byte is readable on the pseudo-terminal that
// ser2net serves, beside the floor: a plain TCP client (no Nagle delay)
// writing one byte to the same ser2net accepter, read on the same terminal.
//
// ser2net lets one client have the line at a time, so the two paths take
// turns in blocks, each block opening its connection afresh, and both see
// the same machine load over the run.
#include "Ser2net.h"
#include "serial/CMSComm.h"
#include "serial/CommError.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace
{
using Clock = std::chrono::steady_clock;

constexpr int kBlocks = 10;
constexpr int kPerBlock = 500;
constexpr int kWarmUp = 50; // per block, after each connect
constexpr int kWaitMs = 2000;
constexpr double kMaxRatio = 1.5;

double micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double quantile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v[std::size_t(std::ceil(q * double(v.size()))) - 1];
}

// Waits for one byte on `fd`; -1 when none came within kWaitMs.
int readByte(int fd)
{
    pollfd p{fd, POLLIN, 0};
    unsigned char c = 0;
    return ::poll(&p, 1, kWaitMs) > 0 && ::read(fd, &c, 1) == 1 ? c : -1;
}

// Tries `attempt` until it holds, for a few seconds: ser2net lets the line go
// a moment after the previous client left.
bool retry(const std::function<bool()>& attempt)
{
    const QDeadlineTimer deadline(5000);
    while (!attempt()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

// The floor's client: connected to the accepter, the letter arriving.
int connectFloor(quint16 port, int master)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::write(fd, "c", 1) != 1 ||
        readByte(master) != 'c') {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One block of one path: `send` takes kWarmUp + kPerBlock letters.
int timeBlock(int master, const std::function<bool()>& send, std::vector<double>& out)
{
    int faults = 0;
    for (int i = 0; i < kWarmUp + kPerBlock; ++i) {
        const auto t0 = Clock::now();
        const bool sent = send();
        const int got = readByte(master);
        const double us = micros(Clock::now() - t0);
        faults += !sent || got != 'c';
        if (i >= kWarmUp)
            out.push_back(us);
    }
    return faults;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 2;
    }
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);

    Ser2net server(QString::fromLocal8Bit(name));
    if (!server.start()) {
        std::fprintf(stderr, "ser2net: %s\n", qPrintable(server.error()));
        return 2;
    }
    ::setenv("LUMO_COM1", qPrintable(server.rfc2217Url()), 1);

    std::vector<double> lumoUs, floorUs, openMs;
    int faults = 0;
    for (int block = 0; block < kBlocks; ++block) {
        CMSComm comm;
        const bool opened = retry([&] {
            try {
                const auto t0 = Clock::now();
                comm.SetPortOpen(true);
                openMs.push_back(micros(Clock::now() - t0) / 1000);
                return true;
            } catch (const CommError&) {
                return false;
            }
        });
        if (!opened) {
            std::fprintf(stderr, "the RFC 2217 port never opened\n");
            return 2;
        }
        faults += timeBlock(
            master,
            [&] {
                comm.SetOutput(QStringLiteral("c"));
                return true;
            },
            lumoUs);
        comm.SetPortOpen(false);

        int fd = -1;
        if (!retry([&] { return (fd = connectFloor(server.rfc2217Port(), master)) >= 0; })) {
            std::fprintf(stderr, "the floor's client never got through\n");
            return 2;
        }
        faults += timeBlock(
            master, [&] { return ::write(fd, "c", 1) == 1; }, floorUs);
        ::close(fd);
    }

    const double lm = quantile(lumoUs, 0.5), fm = quantile(floorUs, 0.5);
    std::printf("ser2net %s on 127.0.0.1, pseudo-terminal %s; %d blocks of %d letters per path\n\n",
                qPrintable(server.rfc2217Url()), name, kBlocks, kPerBlock);
    std::printf("%-34s %10s %10s %8s  %s\n", "figure", "Lumo", "floor", "ratio", "target");
    std::printf("%-34s %10.1f %10.1f %7.2fx  <= %.1fx floor: %s\n",
                "click to byte via ser2net, median (us)", lm, fm, lm / fm, kMaxRatio,
                lm <= kMaxRatio * fm ? "met" : "MISSED");
    const double lp = quantile(lumoUs, 0.99), fp = quantile(floorUs, 0.99);
    std::printf("%-34s %10.1f %10.1f %7.2fx  -\n", "click to byte via ser2net, p99 (us)", lp, fp,
                lp / fp);
    std::printf("%-34s %10.2f %10s %8s  (just after another client left)\n",
                "opening the port, median (ms)", quantile(openMs, 0.5), "-", "-");
    std::fflush(stdout);
    server.stop();
    ::close(slave);
    ::close(master);
    if (faults) {
        std::fprintf(stderr, "%d letter(s) lost or wrong\n", faults);
        return 1;
    }
    return 0;
}
