// "Sent" under fire: 200 rooms, each a pseudo-terminal behind one ser2net,
// `lumo serve` sending 40 all-rooms actions while ser2net is restarted 20
// times, half of them before an action reaches the service (its open lines
// are dead when it writes), half in the middle of one. Every command answered "sent" must have
// arrived, exactly once; one answered "not-confirmed" may have arrived, at
// most once; any other answer means nothing arrived. Prints the counts and
// fails on any byte lost or repeated.
#include "HeldPort.h"
#include "Pty.h"
#include "Ser2net.h"
#include "Ser2netRooms.h"
#include "serve/config/PasswordHash.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace
{
constexpr int kRooms = 200;
constexpr int kRounds = 40;
const QByteArray kToken = "soak-token-0123456789";
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
    QTemporaryDir dir;
    const HeldPort page;
    const quint16 webPort = page.port();
    QByteArray config = "[web]\nlisten=127.0.0.1:" + QByteArray::number(webPort) +
                        "\n[service]\nprobe=0\n[tokens]\nsoak=" + PasswordHash::Make(kToken).toUtf8() +
                        "\n[rooms]\n";
    for (std::size_t i = 0; i < kRooms; ++i)
        config += "r" + QByteArray::number(qulonglong(i)) + "\\device=" + servers.url(i).toUtf8() + '\n';
    QFile file(dir.filePath(QStringLiteral("serve.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size())
        return 1;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.close();
    QProcess serve;
    serve.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment quiet = QProcessEnvironment::systemEnvironment();
    quiet.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("lumo.*.info=false"));
    serve.setProcessEnvironment(quiet);
    serve.start(QStringLiteral(LUMO_SERVE_EXE), {"--config", file.fileName()});
    if (!QTest::qWaitFor([&] { return Ser2net::Listening(webPort); }, 30000)) {
        std::fprintf(stderr, "lumo serve does not serve on port %u\n", webPort);
        return 1;
    }

    // Per room, what each round's answer said, and what arrived.
    std::vector<std::vector<std::pair<char, QString>>> answered(kRooms);
    std::vector<QByteArray> arrived(kRooms);
    const auto drain = [&] {
        for (int i = 0; i < kRooms; ++i)
            arrived[std::size_t(i)] += ptys[std::size_t(i)]->readAvailable(0);
    };
    std::map<QString, int> codes;
    QNetworkAccessManager network;
    int restarts = 0;
    for (int round = 0; round < kRounds; ++round) {
        const char letter = char('a' + round % 23);
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/rooms/all/commands/%2")
                                         .arg(webPort)
                                         .arg(QLatin1Char(letter))));
        request.setRawHeader("Authorization", "Bearer " + kToken);
        QNetworkReply* reply = network.post(request, QByteArray());
        if (round % 2 == 1) {
            // Every connection goes at once: before the request reaches the
            // service (its lines, open from the last round, are dead when it
            // writes), or once the first room has its byte (mid-action).
            const std::vector<QByteArray> before = arrived;
            if (round % 4 == 3)
                QTest::qWaitFor([&] { drain(); return arrived != before || reply->isFinished(); }, 2000);
            if (!servers.restart()) {
                std::fprintf(stderr, "ser2net did not come back\n");
                return 1;
            }
            ++restarts;
        }
        if (!QTest::qWaitFor([&] { drain(); return reply->isFinished(); }, 120000))
            return 1;
        const QJsonArray results =
            QJsonDocument::fromJson(reply->readAll()).object().value("results").toArray();
        reply->deleteLater();
        if (results.size() != kRooms) {
            std::fprintf(stderr, "round %d: %lld results\n", round, qlonglong(results.size()));
            return 1;
        }
        for (const QJsonValue& value : results) {
            const QJsonObject result = value.toObject();
            const int room = result.value("room").toString().mid(1).toInt();
            const QString code = result.value("code").toString();
            answered[std::size_t(room)].push_back({letter, code});
            ++codes[code];
        }
    }
    QTest::qWait(1000);
    drain();
    serve.terminate();
    serve.waitForFinished(15000);

    int lost = 0, extra = 0, unconfirmedArrived = 0;
    for (int room = 0; room < kRooms; ++room) {
        const QByteArray& got = arrived[std::size_t(room)];
        qsizetype at = 0;
        for (const auto& [letter, code] : answered[std::size_t(room)]) {
            const bool came = at < got.size() && got[at] == letter;
            if (came)
                ++at;
            if (code == QLatin1String("sent") && !came) {
                ++lost;
                std::fprintf(stderr, "room r%d: '%c' answered sent, never arrived\n", room, letter);
            }
            if (came && code == QLatin1String("not-confirmed"))
                ++unconfirmedArrived;
            if (came && code != QLatin1String("sent") && code != QLatin1String("not-confirmed")) {
                ++extra;
                std::fprintf(stderr, "room r%d: '%c' arrived, answered %s\n", room, letter,
                             qPrintable(code));
            }
        }
        if (at < got.size()) {
            extra += int(got.size() - at);
            std::fprintf(stderr, "room r%d: unexpected bytes \"%s\"\n", room,
                         got.mid(at).constData());
        }
    }
    std::printf("lumo serve, %d rooms behind one ser2net, %d all-rooms actions, ser2net restarted "
                "%d times\n",
                kRooms, kRounds, restarts);
    for (const auto& [code, count] : codes)
        std::printf("  answered %-16s %6d\n", qPrintable(code), count);
    std::printf("  not-confirmed that arrived %6d\n", unconfirmedArrived);
    std::printf("  answered sent, never arrived %4d   (must be 0)\n", lost);
    std::printf("  arrived twice or unasked     %4d   (must be 0)\n", extra);
    return lost || extra ? 1 : 0;
}
