// The campus service with 200 rooms, each a pseudo-terminal behind one
// ser2net on loopback, `lumo serve` run as the technician runs it, each
// figure beside its reference in the same run:
//  - all rooms 投影机关: POST /api/v1/rooms/all/commands/d (with the lines
//    closed, median of 3), beside the same 200 commands sent one after
//    another by `lumo send --port rfc2217://…`; every byte exactly once;
//  - the service's resident size with 200 rooms, before and after;
//  - the rooms page's first contentful paint and the moment all 200 rooms
//    are listed in headless Chromium, beside the login page's first paint
//    (tools/scripts/campus_page.py; skipped, with the reason, without
//    Chromium).
#include "HeldPort.h"
#include "Pty.h"
#include "Ser2net.h"
#include "Ser2netRooms.h"
#include "serve/config/PasswordHash.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

namespace
{
constexpr int kRooms = 200;
constexpr int kRuns = 3;
const QByteArray kUser = "bench";
const QByteArray kPassword = "bench-password";
const QByteArray kToken = "bench-token-0123456789";

// Waits until every room received a byte, then a little longer for any
// byte sent twice; the number of rooms that got exactly one `letter`.
int exactlyOnce(const std::vector<std::unique_ptr<Pty>>& ptys, char letter)
{
    std::vector<QByteArray> got(kRooms);
    const auto drain = [&] {
        for (int i = 0; i < kRooms; ++i)
            got[std::size_t(i)] += ptys[std::size_t(i)]->readAvailable(0);
    };
    const bool allCame = QTest::qWaitFor(
        [&] {
            drain();
            return std::all_of(got.begin(), got.end(),
                               [](const QByteArray& b) { return !b.isEmpty(); });
        },
        20000);
    if (!allCame)
        std::fprintf(stderr, "not every room received a byte within 20 s\n");
    QTest::qWait(500);
    drain();
    for (int i = 0; i < kRooms; ++i)
        if (got[std::size_t(i)] != QByteArray(1, letter))
            std::fprintf(stderr, "room %d received \"%s\"\n", i,
                         got[std::size_t(i)].toHex().constData());
    return int(std::count(got.begin(), got.end(), QByteArray(1, letter)));
}

double residentMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A port on 127.0.0.1 held until the benchmark ends (see HeldPort).
quint16 freePort()
{
    static std::deque<HeldPort> held;
    return held.emplace_back().port();
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::unique_ptr<Pty>> ptys;
    Ser2netRooms servers;
    if (!servers.start(ptys, kRooms)) {
        std::fprintf(stderr, "ser2net did not serve %d rooms\n", kRooms);
        return 1;
    }

    // The reference: `lumo send` for each room, one after another, straight
    // to the port (no session bus).
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    QElapsedTimer timer;
    timer.start();
    int failedSends = 0;
    for (std::size_t i = 0; i < kRooms; ++i) {
        QProcess send;
        send.setProcessEnvironment(env);
        send.start(QStringLiteral(LUMO_EXE), {"send", "--port", servers.url(i), "d"});
        if (!send.waitForFinished(30000) || send.exitCode() != 0)
            ++failedSends;
    }
    const double oneByOneMs = double(timer.nsecsElapsed()) / 1e6;
    const int oneByOneOnce = exactlyOnce(ptys, 'd');

    // The service, on a configuration of its own.
    QTemporaryDir dir;
    const quint16 webPort = freePort();
    QByteArray config = "[web]\nlisten=127.0.0.1:" + QByteArray::number(webPort) +
                        "\n[service]\nprobe=0\n[rooms]\n";
    for (std::size_t i = 0; i < kRooms; ++i) {
        const QByteArray id = "r" + QByteArray::number(qulonglong(100 + i));
        config += id + "\\name=教学楼 " + QByteArray::number(qulonglong(100 + i)) + '\n' + id +
                  "\\device=" + servers.url(i).toUtf8() + '\n';
    }
    config += "[users]\n" + kUser + '=' + PasswordHash::Make(kPassword).toUtf8() +
              "\n[tokens]\nbench=" + PasswordHash::Make(kToken).toUtf8() + '\n';
    QFile file(dir.filePath(QStringLiteral("serve.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size())
        return 1;
    file.close();
    QProcess serve;
    serve.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment quiet = env;
    quiet.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("lumo.*.info=false"));
    serve.setProcessEnvironment(quiet);
    serve.start(QStringLiteral(LUMO_EXE), {"serve", "--config", file.fileName()});
    if (!QTest::qWaitFor(
            [&] { return Ser2net::Listening(webPort) || serve.state() == QProcess::NotRunning; },
            30000) ||
        serve.state() == QProcess::NotRunning) {
        std::fprintf(stderr, "lumo serve does not serve its campus page on port %u\n", webPort);
        return 1;
    }
    QTest::qWait(1000); // settled
    const double idleMiB = residentMiB(serve.processId());

    // All rooms at once, each time with every line closed again first.
    QNetworkAccessManager network;
    std::vector<double> allMs;
    int allOnce = 0, refused = 0;
    for (int run = 0; run < kRuns; ++run) {
        if (run > 0)
            QTest::qWait(3000); // the lines close after 2 s idle
        QNetworkRequest request(
            QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/rooms/all/commands/d").arg(webPort)));
        request.setRawHeader("Authorization", "Bearer " + kToken);
        timer.restart();
        QNetworkReply* reply = network.post(request, QByteArray());
        if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 120000))
            return 1;
        allMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        const QJsonArray results =
            QJsonDocument::fromJson(reply->readAll()).object().value("results").toArray();
        for (const QJsonValue& result : results)
            refused += result.toObject().value("sent").toString() != QLatin1String("d");
        if (results.size() != kRooms) {
            std::fprintf(stderr, "the service answered HTTP %d with %lld results\n",
                         reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                         qlonglong(results.size()));
            return 1;
        }
        reply->deleteLater();
        allOnce += exactlyOnce(ptys, 'd');
    }
    const double busyMiB = residentMiB(serve.processId());

    // The rooms page in Chromium.
    QProcess paint;
    paint.setProcessChannelMode(QProcess::SeparateChannels);
    // Debian's Python, which has python3-selenium, before any other on the PATH.
    QString python = QStandardPaths::findExecutable(QStringLiteral("python3"), {"/usr/bin"});
    paint.start(python.isEmpty() ? QStringLiteral("python3") : python,
                {QStringLiteral(CAMPUS_BROWSER_PY), "first-paint",
                 QStringLiteral("http://127.0.0.1:%1/").arg(webPort), kUser, kPassword,
                 QString::number(kRooms)});
    paint.waitForFinished(300000);
    const QList<QByteArray> paints = paint.readAllStandardOutput().trimmed().split(' ');
    const QByteArray paintError = paint.readAllStandardError().trimmed();
    serve.terminate();
    serve.waitForFinished(10000);

    const double allMedian = median(allMs);
    std::printf("lumo serve, %d rooms behind one ser2net on 127.0.0.1\n\n", kRooms);
    std::printf("%-46s %10s %10s %8s\n", "figure", "Lumo", "reference", "ratio");
    std::printf("%-46s %10.1f %10.1f %7.1fx  (%d lumo send one after another; goal >= 10x)\n",
                "all rooms 投影机关 (ms; median of 3)", allMedian, oneByOneMs,
                oneByOneMs / allMedian, kRooms);
    std::printf("%-46s %10d %10d           (of %d; each room exactly one d)\n",
                "  rooms that got exactly one byte", allOnce / kRuns, oneByOneOnce, kRooms);
    std::printf("%-46s %10.1f %10.1f           (idle, before the first command)\n",
                "resident size with 200 rooms (MiB)", busyMiB, idleMiB);
    if (paints.size() == 6 && paints[0] == "login") {
        const double login = paints[1].toDouble(), rooms = paints[3].toDouble();
        std::printf("%-46s %10.1f %10.1f %7.2fx  (the login page's first paint)\n",
                    "rooms page first contentful paint (ms)", rooms, login, rooms / login);
        std::printf("%-46s %10.1f\n", "  all 200 rooms listed (ms)", paints[5].toDouble());
    } else {
        std::printf("%-46s skipped: %s\n", "rooms page first contentful paint",
                    paintError.isEmpty() ? "no figures from campus_page.py"
                                         : paintError.split('\n').last().constData());
    }
    std::printf("  (%d of %d lumo send runs exited 0; %d room outcomes not sent)\n",
                kRooms - failedSends, kRooms, refused);
    if (failedSends || refused || allOnce != kRuns * kRooms || oneByOneOnce != kRooms) {
        std::fprintf(stderr, "bytes lost or repeated, or commands refused\n");
        return 1;
    }
    return 0;
}
