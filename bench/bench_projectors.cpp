// The rooms' projectors in the campus service: 500 simulated projectors
// (SimServer, in a child process of this program) polled by ProjectorWatch
// every 10 s, at most 16 at once. Figures, each beside its reference in
// the same run:
//  - the watch's CPU (this process only) over 30 s of polling, beside the
//    same 30 s with no projector configured;
//  - its resident size with 500 projectors watched, beside none;
//  - the most polls under way at once;
//  - the time from a projector's change (50 switched on at once) to the
//    room's JSON showing it: median and most, against the poll interval.
#include "control/CommandResult.h"
#include "serve/projectors/ProjectorWatch.h"
#include "serve/rooms/Campus.h"
#include "tools/pjlink/SimProjector.h"
#include "tools/pjlink/SimServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace
{
constexpr int kProjectors = 500;
constexpr int kPollSeconds = 10;
constexpr int kWindowMs = 30'000;
constexpr int kChanged = 50;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// The child: the projectors. Prints their ports on stderr, then takes
// "on K" lines on stdin.
int simulators()
{
    std::vector<std::unique_ptr<SimProjector>> projectors;
    std::vector<std::unique_ptr<SimServer>> servers;
    SimProjector::Settings settings;
    settings.warmUpMs = 60'000;
    QByteArray ports;
    for (int i = 0; i < kProjectors; ++i) {
        projectors.push_back(std::make_unique<SimProjector>(settings));
        servers.push_back(std::make_unique<SimServer>(projectors.back().get(), QByteArray(), 30'000));
        QString error;
        if (!servers.back()->Listen(QHostAddress::LocalHost, 0, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        ports += QByteArray::number(servers.back()->Port()) + ' ';
    }
    std::fprintf(stderr, "PORTS %s\n", ports.constData());
    std::fflush(stderr);
    std::freopen("/dev/null", "w", stdout); // SimServer logs every line there
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[256];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0)
            return QCoreApplication::quit();
        pending.append(chunk, got);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
            if (pending.startsWith("on "))
                projectors.at(pending.mid(3, end - 3).toInt())->SetPower(true);
    });
    return QCoreApplication::exec();
}

// CPU seconds of this process over `ms` with the event loop running, and
// the most polls under way meanwhile.
std::pair<double, int> window(const ProjectorWatch* watch, int ms)
{
    const double before = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    int most = 0;
    while (clock.elapsed() < ms) {
        QTest::qWait(20);
        if (watch)
            most = std::max(most, watch->PollsUnderWay());
    }
    return {cpuSeconds() - before, most};
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--simulators")))
        return simulators();

    QProcess sims;
    sims.start(app.applicationFilePath(), {QStringLiteral("--simulators")});
    QByteArray said;
    QElapsedTimer started;
    started.start();
    while (!said.contains('\n') && started.elapsed() < 30'000) {
        sims.waitForReadyRead(1000);
        said += sims.readAllStandardError();
    }
    const QList<QByteArray> ports = said.trimmed().mid(6).split(' ');
    if (!said.startsWith("PORTS ") || ports.size() != kProjectors) {
        std::fprintf(stderr, "the simulators did not start: %s\n", said.constData());
        return 1;
    }

    Campus campus({});
    ServeConfig config;
    config.projectors.pollSeconds = kPollSeconds;
    ProjectorWatch none(campus);
    none.Configure(config);
    const long bareKiB = residentKiB();
    const double bareCpu = window(&none, kWindowMs).first;

    for (int i = 0; i < kProjectors; ++i)
        config.rooms.append({QStringLiteral("r%1").arg(i), QStringLiteral("r%1").arg(i),
                             QStringLiteral("/dev/null"),
                             QStringLiteral("pjlink://127.0.0.1:") + QString::fromLatin1(ports[i])});
    ProjectorWatch watch(campus);
    watch.Configure(config);
    const auto [cpu, most] = window(&watch, kWindowMs);
    const long watchedKiB = residentKiB();
    int answered = 0;
    for (int i = 0; i < kProjectors; ++i)
        answered += watch.StateOf(QStringLiteral("r%1").arg(i))->reachable;

    // 50 projectors switched on at once: when does each room's JSON say so?
    QByteArray lines;
    for (int i = 0; i < kChanged; ++i)
        lines += "on " + QByteArray::number(i * (kProjectors / kChanged)) + "\n";
    sims.write(lines);
    QElapsedTimer clock;
    clock.start();
    std::vector<double> seen(kChanged, -1);
    while (clock.elapsed() < 3 * kPollSeconds * 1000 &&
           std::count(seen.begin(), seen.end(), -1) > 0) {
        QTest::qWait(5);
        for (int i = 0; i < kChanged; ++i)
            if (seen[i] < 0 && watch.Json(QStringLiteral("r%1").arg(i * (kProjectors / kChanged)))
                                       .toObject()[QStringLiteral("power")] != QLatin1String("off"))
                seen[i] = double(clock.elapsed());
    }
    const auto unseen = std::count(seen.begin(), seen.end(), -1);
    std::sort(seen.begin(), seen.end());
    sims.closeWriteChannel();
    sims.waitForFinished(5000);

    std::printf("bench_projectors: %d simulated projectors, polled every %d s, at most %d at once\n",
                kProjectors, kPollSeconds, config.projectors.parallel);
    std::printf("  reachable after %d s                   %6d of %d\n", kWindowMs / 1000, answered,
                kProjectors);
    std::printf("  CPU over %d s, watched        %8.2f s (%.1f %% of one core)\n", kWindowMs / 1000,
                cpu, 100 * cpu / (kWindowMs / 1000.0));
    std::printf("  CPU over %d s, none (reference) %6.2f s\n", kWindowMs / 1000, bareCpu);
    std::printf("  resident, watched              %8ld KiB\n", watchedKiB);
    std::printf("  resident, none (reference)     %8ld KiB (%.1f KiB per projector)\n", bareKiB,
                double(watchedKiB - bareKiB) / kProjectors);
    std::printf("  polls under way at once, most  %8d\n", most);
    std::printf("  change to JSON, %d projectors: median %.0f ms, most %.0f ms (poll interval %d ms)\n",
                kChanged, seen[kChanged / 2], seen.back(), kPollSeconds * 1000);
    if (unseen)
        std::printf("  NOT SEEN within %d s: %d of %d\n", 3 * kPollSeconds, int(unseen), kChanged);
    return unseen ? 1 : 0;
}
