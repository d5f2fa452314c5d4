// How long a button's letter takes from CMSComm::SetOutput to the far end of
// the line, against the plain write(2) floor on the same pseudo-terminal;
// whether a fast burst of letters arrives whole and in order; and the
// resident size after a controller talked 10 MB that nobody read, beside the
// same process idle.
//
// The program opens the slave side by its path (LUMO_COM1); this benchmark
// plays the device on the master side. The floor is written on the slave
// descriptor openpty returned, a second descriptor of the same terminal that
// the port's flock does not touch, interleaved with the CMSComm sends so both
// see the same machine load. A pseudo-terminal has no line speed: the figures
// are the cost of the software path, not of the wire.
#include "Pty.h"
#include "serial/CMSComm.h"
#include "serial/CommError.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace
{
using Clock = std::chrono::steady_clock;

constexpr int kWarmUp = 500;
constexpr int kSamples = 10'000;
constexpr int kBurst = 10'000;
constexpr int kWaitMs = 2000;                   // a byte not seen by then is lost
constexpr double kWireByteUs = 10 * 1e6 / 9600; // start + 8 data + stop at 9600 baud
constexpr double kMaxRatio = 10.0;
constexpr qsizetype kTalk = 10 << 20; // what the controller says unasked
constexpr double kMaxGrowthMiB = 1.0;

double micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

struct Stats {
    double median = 0;
    double p99 = 0;
};

Stats stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const auto p99 = std::size_t(std::ceil(0.99 * double(v.size()))) - 1;
    return {v[v.size() / 2], v[p99]};
}

// The process's resident size in MiB, from /proc.
double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

// The far end talks `bytes` while the control is open and nobody reads, as
// a chatty controller does to the panel; the event loop runs as the panel's
// would. False when the line stopped taking data.
bool talkUnread(Pty& pty, qsizetype bytes)
{
    const QByteArray block(64 * 1024, 'k');
    qsizetype done = 0;
    const QDeadlineTimer deadline(60000);
    while (done < bytes && !deadline.hasExpired()) {
        done += pty.write(QByteArrayView(block).first(std::min(block.size(), bytes - done)), 0);
        QCoreApplication::processEvents();
    }
    return done == bytes;
}

// Waits for one byte on `fd`; -1 when none came within kWaitMs.
int readByte(int fd)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kWaitMs) <= 0)
        return -1;
    unsigned char c = 0;
    return ::read(fd, &c, 1) == 1 ? c : -1;
}

// One send and its arrival on the master, in microseconds; false when the
// byte did not arrive as sent.
template <typename Send> bool timeOne(int master, char expected, Send send, double& us)
{
    const auto t0 = Clock::now();
    send();
    const int got = readByte(master);
    us = micros(Clock::now() - t0);
    return got == static_cast<unsigned char>(expected);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // QSerialPort's notifiers want one

    Pty pty;
    if (!pty.isValid()) {
        std::fprintf(stderr, "openpty: %s\n", qPrintable(pty.error()));
        return 2;
    }
    const int master = pty.masterFd(), slave = pty.slaveFd();
    const QByteArray name = QFile::encodeName(pty.slavePath());
    ::setenv("LUMO_COM1", name.constData(), 1);

    int faults = 0;
    try {
        CMSComm comm;
        comm.SetPortOpen(true);
        comm.SetSettings(QStringLiteral("9600,n,8,1"));

        const auto lumoSend = [&] { comm.SetOutput(QStringLiteral("c")); };
        const auto rawSend = [&] {
            const char c = 'c';
            if (::write(slave, &c, 1) != 1)
                ++faults;
        };

        // 1 and 2: latency, one byte at a time, the two paths interleaved.
        std::vector<double> lumoUs, floorUs;
        lumoUs.reserve(kSamples);
        floorUs.reserve(kSamples);
        for (int i = 0; i < kWarmUp + kSamples; ++i) {
            double a = 0, b = 0;
            faults += !timeOne(master, 'c', lumoSend, a);
            faults += !timeOne(master, 'c', rawSend, b);
            if (i >= kWarmUp) {
                lumoUs.push_back(a);
                floorUs.push_back(b);
            }
        }

        // 3: a burst, drained by a second thread (the terminal buffers only
        // a few KiB, so an undrained master would stop the writer).
        std::string sent, received;
        for (int i = 0; i < kBurst; ++i)
            sent += char('a' + i % 23); // "a".."w"
        received.reserve(sent.size());
        Clock::time_point lastByte;
        std::thread reader([&] {
            char buf[4096];
            while (received.size() < sent.size()) {
                pollfd p{master, POLLIN, 0};
                if (::poll(&p, 1, kWaitMs) <= 0)
                    break; // quiet for too long: the rest is lost
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n <= 0)
                    break;
                received.append(buf, std::size_t(n));
                lastByte = Clock::now();
            }
        });
        const auto start = Clock::now();
        for (char c : sent)
            comm.SetOutput(QString(QLatin1Char(c)));
        reader.join();

        // 4: a controller that talks while nobody reads.
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents();
        const double idleMiB = residentMiB();
        const bool talked = talkUnread(pty, kTalk);
        const double talkedMiB = residentMiB();
        const bool bounded = talked && comm.GetInBufferCount() == comm.GetInBufferSize();
        if (!bounded)
            ++faults;
        comm.SetPortOpen(false);

        const bool complete = received.size() == sent.size();
        const bool ordered = sent.compare(0, received.size(), received) == 0;
        const double burstS = received.empty() ? 0 : micros(lastByte - start) / 1e6;
        const double rate = burstS > 0 ? double(received.size()) / burstS : 0;
        if (!complete || !ordered)
            ++faults;

        const Stats l = stats(lumoUs), f = stats(floorUs);
        std::printf("pseudo-terminal %s, %d sends per path after %d to warm up\n\n",
                    name.constData(), kSamples, kWarmUp);
        std::printf("burst: %zu of %d letters arrived, order %s, %.1f ms, %.0f letters/s\n\n",
                    received.size(), kBurst, ordered ? "held" : "BROKEN", burstS * 1e3, rate);

        const bool medianOk = l.median <= kMaxRatio * f.median && l.median < kWireByteUs;
        std::printf("(for the resident size, the floor is the same process idle and the ratio "
                    "column the growth in MiB)\n");
        std::printf("%-18s %10s %10s %8s  %s\n", "figure", "Lumo", "floor", "ratio", "target");
        std::printf("%-18s %10.1f %10.1f %7.1fx  <= %.0fx floor and < %.0f us: %s\n", "median (us)",
                    l.median, f.median, l.median / f.median, kMaxRatio, kWireByteUs,
                    medianOk ? "met" : "MISSED");
        std::printf("%-18s %10.1f %10.1f %7.1fx  -\n", "p99 (us)", l.p99, f.p99, l.p99 / f.p99);
        std::printf("%-18s %10.0f %10s %8s  >= %.0f (the wire's rate): %s\n", "burst (letters/s)",
                    rate, "-", "-", 1e6 / kWireByteUs,
                    rate >= 1e6 / kWireByteUs ? "met" : "MISSED");
        const double growth = talkedMiB - idleMiB;
        std::printf("%-18s %10.1f %10.1f %7.1fM <= idle + %.0f MiB after %lld MiB unread: %s\n",
                    "resident (MiB)", talkedMiB, idleMiB, growth, kMaxGrowthMiB,
                    qlonglong(kTalk >> 20), growth <= kMaxGrowthMiB && bounded ? "met" : "MISSED");
    } catch (const CommError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        faults = -1;
    }

    std::fflush(stdout);
    if (faults != 0) {
        if (faults > 0)
            std::fprintf(stderr, "%d letter(s) lost or out of order\n", faults);
        return 1;
    }
    return 0;
}
