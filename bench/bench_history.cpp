// The campus service's history, each figure beside its reference in the
// same run:
//  - all 500 rooms 投影机关 (POST /api/v1/rooms/all/commands/d, median of 5)
//    with the history on, beside the same with [history] database=off;
//  - 10,000 records added in one burst: the time until the last is
//    committed, and the size of the file and its write-ahead log after;
//  - one room's records found among those 10,000 (median of 5).
#include "HeldPort.h"
#include "Pty.h"
#include "Ser2net.h"
#include "Ser2netRooms.h"
#include "serve/history/History.h"
#include "serve/config/PasswordHash.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

namespace
{
constexpr int kRooms = 500;
constexpr int kRuns = 5;
const QByteArray kToken = "bench-token-0123456789";

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

// The median time of all rooms at once through `lumo serve` with `history`
// as [history] database=; negative when it did not go through.
double allRooms(const Ser2netRooms& servers, const QString& history, QTemporaryDir& dir)
{
    const quint16 port = freePort();
    QByteArray config = "[web]\nlisten=127.0.0.1:" + QByteArray::number(port) +
                        "\n[service]\nprobe=0\n[history]\ndatabase=" + history.toUtf8() + "\n[rooms]\n";
    for (std::size_t i = 0; i < kRooms; ++i)
        config += "r" + QByteArray::number(qulonglong(i)) + "\\device=" + servers.url(i).toUtf8() + '\n';
    config += "[tokens]\nbench=" + PasswordHash::Make(kToken).toUtf8() + '\n';
    QFile file(dir.filePath(QStringLiteral("serve.conf")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(config) != config.size())
        return -1;
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QProcess serve;
    serve.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("lumo.*.info=false"));
    serve.setProcessEnvironment(env);
    serve.start(QStringLiteral(LUMO_SERVE_EXE), {"--config", file.fileName()});
    if (!QTest::qWaitFor([&] { return Ser2net::Listening(port); }, 30000))
        return -1;
    QNetworkAccessManager network;
    std::vector<double> ms;
    for (int run = 0; run <= kRuns; ++run) { // the first opens the lines
        QNetworkRequest request(
            QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/rooms/all/commands/d").arg(port)));
        request.setRawHeader("Authorization", "Bearer " + kToken);
        QElapsedTimer timer;
        timer.start();
        QNetworkReply* reply = network.post(request, QByteArray());
        if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 120000))
            return -1;
        const QJsonArray results =
            QJsonDocument::fromJson(reply->readAll()).object().value("results").toArray();
        reply->deleteLater();
        if (results.size() != kRooms)
            return -1;
        if (run > 0)
            ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    serve.terminate();
    serve.waitForFinished(20000);
    std::printf("  history=%s: runs of", qPrintable(history == QLatin1String("off") ? history : QStringLiteral("on")));
    for (const double one : ms)
        std::printf(" %.0f", one);
    std::printf(" ms\n");
    return median(ms);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::vector<std::unique_ptr<Pty>> ptys;
    Ser2netRooms servers;
    if (!servers.start(ptys, kRooms)) {
        std::fprintf(stderr, "ser2net did not serve %d rooms\n", kRooms);
        return 1;
    }
    const double on = allRooms(servers, dir.filePath(QStringLiteral("history.sqlite")), dir);
    const double off = allRooms(servers, QStringLiteral("off"), dir);
    if (on < 0 || off < 0) {
        std::fprintf(stderr, "all rooms at once did not go through\n");
        return 1;
    }
    std::printf("all %d rooms at once, median of %d:  history on %.0f ms, off %.0f ms: %.2fx\n",
                kRooms, kRuns, on, off, on / off);

    const QString path = dir.filePath(QStringLiteral("burst.sqlite"));
    History history(path);
    const QDateTime start = QDateTime::currentDateTimeUtc();
    QElapsedTimer timer;
    timer.start();
    bool stored = false;
    for (int i = 0; i < 10'000; ++i)
        history.Add({0, start.addMSecs(i), QStringLiteral("r%1").arg(i % kRooms),
                     QStringLiteral("projector-off"), QStringLiteral("bench"), QStringLiteral("api"),
                     QStringLiteral("sent"), {}, {}},
                    i == 9'999 ? History::Stored([&](bool) { stored = true; }) : nullptr);
    if (!QTest::qWaitFor([&] { return stored; }, 60000))
        return 1;
    const double burstMs = double(timer.nsecsElapsed()) / 1e6;
    const qint64 bytes = QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
    std::printf("10,000 records in one burst: committed in %.0f ms; file and log %.1f MiB\n", burstMs,
                double(bytes) / (1024 * 1024));

    std::vector<double> found;
    for (int run = 0; run < 5; ++run) {
        bool done = false;
        timer.restart();
        history.Find({{QStringLiteral("r7")}, {}, {}, 0, History::kMaxLimit},
                     [&](const QList<History::Entry>&, const QString&) { done = true; });
        if (!QTest::qWaitFor([&] { return done; }, 10000))
            return 1;
        found.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("one room's records among 10,000, median of 5: %.1f ms (goal: at most 50 ms)\n",
                median(found));
    return 0;
}
