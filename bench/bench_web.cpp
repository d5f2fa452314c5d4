// The phone remote, measured beside its floor, each server in a process of
// its own so that its resident size is its own:
//  - a tap's time from POST to the byte readable on the pty master, median
//    over 1,000, against a bare QHttpServer program that writes the byte;
//  - 20 clients sending 500 commands each at once: every byte arrives
//    exactly once (19 clients send a letter of their own), and a witness
//    client's mixed sequence of u, v and w arrives in its order;
//  - the panel's resident size with the remote on and 20 pages loaded and
//    polling, against the panel with the remote off.
//
//   bench_web                       runs it all and prints the figures
//   bench_web panel on|off DEVICE   the panel on DEVICE (offscreen), the remote
//                                   on (port from remote/port) or off
//   bench_web bare PORT DEVICE      the floor
#include "HeldPort.h"
#include "Pty.h"
#include "control/Line.h"
#include "dialogs/CPanelDlg.h"
#include "serial/CMSComm.h"
#include "phone/PhoneRemote.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace
{
constexpr int kTaps = 1000;
constexpr int kClients = 20;
constexpr int kPerClient = 500;
constexpr int kPages = 20;
constexpr int kWaitMs = 10000;

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

// One request on a kept-alive connection; the status, 0 if none came.
int request(QTcpSocket& socket, const QByteArray& method, const QByteArray& path,
            const QByteArray& headers, QByteArray* body = nullptr)
{
    socket.write(method + ' ' + path + " HTTP/1.1\r\n" + headers + "Content-Length: 0\r\n\r\n");
    QByteArray received;
    for (;;) {
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end >= 0) {
            const QByteArray head = received.left(end).toLower();
            const qsizetype at = head.indexOf("content-length:");
            const qsizetype length =
                at < 0 ? 0 : head.mid(at + 15).split('\r').first().trimmed().toLongLong();
            if (received.size() - end - 4 >= length) {
                if (body)
                    *body = received.mid(end + 4, length);
                return head.mid(9, 3).toInt();
            }
        }
        if (!socket.waitForReadyRead(kWaitMs))
            return 0;
        received += socket.readAll();
    }
}

bool waitReadable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1;
}

qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

// A server process: started, and its first line of output ("READY" or a link).
struct Server {
    QProcess process;
    QByteArray headers; // Host and, for the panel, the secret
    quint16 port = 0;

    bool start(const QStringList& arguments, const QProcessEnvironment& env)
    {
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QCoreApplication::applicationFilePath(), arguments);
        if (!process.waitForStarted(kWaitMs))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!process.canReadLine() && clock.elapsed() < kWaitMs)
            process.waitForReadyRead(100);
        const QByteArray line = process.readLine().trimmed();
        if (line.startsWith("http://")) {
            const QUrl link(QString::fromLatin1(line));
            headers = "Authorization: Bearer " +
                      QUrlQuery(link).queryItemValue(QStringLiteral("k")).toLatin1() + "\r\n";
        }
        return line == "READY" || line.startsWith("http://");
    }
    ~Server()
    {
        process.kill();
        process.waitForFinished(kWaitMs);
    }
};

// Median milliseconds from sending the POST to the byte on the master.
double tapToByte(Server& server, Pty& pty)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.port);
    if (!socket.waitForConnected(kWaitMs))
        return -1;
    const QByteArray headers = "Host: 127.0.0.1:" + QByteArray::number(server.port) + "\r\n" +
                               server.headers;
    const QByteArray post = "POST /api/v1/commands/c HTTP/1.1\r\n" + headers +
                            "Content-Length: 0\r\n\r\n";
    std::vector<double> ms;
    QElapsedTimer clock;
    for (int i = 0; i < kTaps + 20; ++i) {
        clock.start();
        socket.write(post);
        socket.flush();
        if (!waitReadable(pty.masterFd(), kWaitMs))
            return -1;
        const double elapsed = double(clock.nsecsElapsed()) / 1e6;
        if (pty.read(1, kWaitMs) != "c")
            return -1;
        QByteArray received;
        while (!received.contains("\"sent\":\"c\"}") && socket.waitForReadyRead(kWaitMs))
            received += socket.readAll();
        if (i >= 20) // the first ones warm up
            ms.push_back(elapsed);
    }
    return median(ms);
}

int runPanel(int argc, char** argv)
{
    QApplication app(argc, argv);
    qputenv("LUMO_COM1", argv[3]);
    CMSComm serial;
    try {
        Line::Open(serial, 1);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot open %s: %s\n", argv[3], e.what());
        return 1;
    }
    CPanelDlg panel(serial);
    panel.show();
    if (qstrcmp(argv[2], "on") == 0) {
        if (!panel.Remote()->SwitchOn()) {
            std::fprintf(stderr, "%s\n", qPrintable(panel.Remote()->ErrorString()));
            return 1;
        }
        std::printf("%s\n", qPrintable(panel.Remote()->Links().value(0)));
    } else {
        std::printf("READY\n");
    }
    std::fflush(stdout);
    return app.exec();
}

int runBare(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int fd = ::open(argv[3], O_RDWR | O_NOCTTY);
    QHttpServer server;
    server.route(QStringLiteral("/api/v1/commands/<arg>"), QHttpServerRequest::Method::Post,
                 [fd](const QString& command) {
                     const QByteArray bytes = command.toLatin1();
                     const char letter = bytes.isEmpty() ? 0 : bytes[0];
                     if (::write(fd, &letter, 1) != 1)
                         return QHttpServerResponse(QHttpServerResponder::StatusCode::ServiceUnavailable);
                     return QHttpServerResponse(QJsonObject{{"sent", command}});
                 });
    if (fd < 0 || server.listen(QHostAddress::Any, quint16(QByteArray(argv[2]).toUInt())) == 0)
        return 1;
    std::printf("READY\n");
    std::fflush(stdout);
    return app.exec();
}

struct Burst {
    bool complete = false;
    double seconds = 0;
    QString detail;
};

// 20 clients at once, each on its own connection, each waiting for its
// answer before the next command, as a page does.
Burst burst(Server& server, Pty& pty)
{
    std::vector<QByteArray> sequences(kClients);
    for (int k = 0; k < kClients - 1; ++k)
        sequences[std::size_t(k)] = QByteArray(kPerClient, char('a' + k));
    for (int i = 0; i < kPerClient; ++i) // the witness
        sequences.back() += char('u' + QRandomGenerator::global()->bounded(3));

    QByteArray arrived;
    std::atomic<bool> reading{true};
    std::thread reader([&] {
        while (reading || waitReadable(pty.masterFd(), 300)) {
            if (waitReadable(pty.masterFd(), 50))
                arrived += pty.readAvailable(0);
        }
    });
    std::atomic<int> failures{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> clients;
    for (int k = 0; k < kClients; ++k)
        clients.emplace_back([&, k] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, server.port);
            if (!socket.waitForConnected(kWaitMs)) {
                ++failures;
                return;
            }
            const QByteArray headers = "Host: 127.0.0.1:" + QByteArray::number(server.port) +
                                       "\r\n" + server.headers;
            for (char letter : sequences[std::size_t(k)])
                if (request(socket, "POST", "/api/v1/commands/" + QByteArray(1, letter), headers) != 200)
                    ++failures;
        });
    for (std::thread& t : clients)
        t.join();
    Burst result;
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    reading = false;
    reader.join();

    std::map<char, int> counts;
    QByteArray witness;
    for (char c : arrived) {
        ++counts[c];
        if (c >= 'u')
            witness += c;
    }
    bool each = arrived.size() == kClients * kPerClient && failures == 0;
    for (int k = 0; k < kClients - 1; ++k)
        each = each && counts[char('a' + k)] == kPerClient;
    const bool ordered = witness == sequences.back();
    result.complete = each && ordered;
    result.detail = QStringLiteral("%1 bytes of %2, %3 failed requests, witness order %4")
                        .arg(arrived.size())
                        .arg(kClients * kPerClient)
                        .arg(failures.load())
                        .arg(ordered ? QStringLiteral("kept") : QStringLiteral("BROKEN"));
    return result;
}

// The pages a phone loads: the page, its style and script, every picture
// at 3x; then the connection stays open, asking for the status.
bool openPages(Server& server, std::vector<std::unique_ptr<QTcpSocket>>& pages)
{
    const QByteArray headers = "Host: 127.0.0.1:" + QByteArray::number(server.port) + "\r\n" +
                               server.headers;
    for (int i = 0; i < kPages; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, server.port);
        if (!socket->waitForConnected(kWaitMs))
            return false;
        QByteArray page;
        if (request(*socket, "GET", "/", headers, &page) != 200)
            return false;
        QList<QByteArray> assets{"/phone.css", "/phone.js", "/manifest.webmanifest", "/icon-192.png"};
        for (qsizetype at = page.indexOf(" 3x"); at >= 0; at = page.indexOf(" 3x", at + 1))
            assets.append(page.mid(page.lastIndexOf(' ', at - 1) + 1,
                                   at - page.lastIndexOf(' ', at - 1) - 1));
        for (const QByteArray& asset : assets)
            if (request(*socket, "GET", asset, headers) != 200)
                return false;
        if (request(*socket, "GET", "/api/v1/status", headers) != 200)
            return false;
        pages.push_back(std::move(socket));
    }
    return true;
}

int runAll()
{
    QTemporaryDir config;
    const quint16 port = freePort();
    QSettings settings(config.filePath(QStringLiteral("Lumo/Lumo.conf")), QSettings::IniFormat);
    settings.setValue(QStringLiteral("remote/port"), port);
    settings.sync();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), config.filePath(QStringLiteral("none")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));

    std::printf("Phone remote (each server its own process, the client here)\n\n");
    double bareMs = -1, panelMs = -1;
    {
        Pty pty;
        Server bare;
        bare.port = freePort();
        if (bare.start({QStringLiteral("bare"), QString::number(bare.port), pty.slavePath()}, env))
            bareMs = tapToByte(bare, pty);
    }
    Burst result;
    qint64 offKiB = -1, onKiB = -1, onIdleKiB = -1;
    {
        Pty pty;
        Server panel;
        panel.port = port;
        if (panel.start({QStringLiteral("panel"), QStringLiteral("on"), pty.slavePath()}, env)) {
            panelMs = tapToByte(panel, pty);
            result = burst(panel, pty);
        }
    }
    {
        Pty pty;
        Server panel;
        if (panel.start({QStringLiteral("panel"), QStringLiteral("off"), pty.slavePath()}, env)) {
            QThread::msleep(1000); // settled
            offKiB = residentKiB(panel.process.processId());
        }
    }
    {
        Pty pty;
        Server panel;
        panel.port = port;
        std::vector<std::unique_ptr<QTcpSocket>> pages;
        if (panel.start({QStringLiteral("panel"), QStringLiteral("on"), pty.slavePath()}, env)) {
            QThread::msleep(1000);
            onIdleKiB = residentKiB(panel.process.processId());
            if (openPages(panel, pages)) {
                QThread::msleep(1000);
                onKiB = residentKiB(panel.process.processId());
            }
        }
    }
    std::printf("tap (POST) to byte, median of %d   Lumo %.3f ms   bare QHttpServer %.3f ms   "
                "ratio %.2f (goal <= 1.3)\n",
                kTaps, panelMs, bareMs, bareMs > 0 ? panelMs / bareMs : 0.0);
    std::printf("%d clients x %d commands at once   %s in %.2f s (%.0f commands/s): %s\n", kClients,
                kPerClient, result.complete ? "every byte once" : "FAILED", result.seconds,
                result.seconds > 0 ? kClients * kPerClient / result.seconds : 0.0,
                qPrintable(result.detail));
    std::printf("resident size   remote off %.1f MiB   on, no page %.1f MiB   on, %d pages %.1f MiB   "
                "difference %+.2f MiB (goal <= +3)\n",
                double(offKiB) / 1024, double(onIdleKiB) / 1024, kPages, double(onKiB) / 1024,
                double(onKiB - offKiB) / 1024);
    const bool ok = panelMs > 0 && bareMs > 0 && result.complete && offKiB > 0 && onKiB > 0;
    return ok ? 0 : 1;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "panel") == 0)
        return runPanel(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "bare") == 0)
        return runBare(argc, argv);
    QCoreApplication app(argc, argv);
    return runAll();
}
