// The campus page and its JSON interface against the real server: the
// configuration read from a file, rooms on pseudo-terminals behind real
// ser2net instances, requests as raw HTTP over TCP, bytes read on the ptys.
#include "HttpClient.h"
#include "Pty.h"
#include "Ser2net.h"
#include "serial/CMSComm.h"
#include "serve/rooms/Campus.h"
#include "phone/PhonePage.h"
#include "serve/web/CampusPage.h"
#include "serve/web/CampusServer.h"
#include "serve/web/IdempotencyKeys.h"
#include "serve/config/PasswordHash.h"
#include "serve/config/ServeConfig.h"
#include "http/RemoteListener.h"
#include "control/Logging.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

#include <csignal>

namespace
{
const QByteArray kPassword = "correct horse";
const QByteArray kToken = "nightly-3f9a1c";

// A room: a pseudo-terminal behind its own ser2net.
struct FakeRoom {
    Pty pty;
    Ser2net server{pty.slavePath()};
};

QHostAddress loopback(int third, int fourth)
{
    return QHostAddress(QStringLiteral("127.0.%1.%2").arg(third).arg(fourth));
}

// A connection from `from` that sends `bytes`, then nothing.
std::unique_ptr<QTcpSocket> hold(quint16 port, const QHostAddress& from, const QByteArray& bytes)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(from);
    socket->connectToHost(QHostAddress::LocalHost, port);
    socket->write(bytes);
    return socket;
}

using Sockets = std::vector<std::unique_ptr<QTcpSocket>>;
int connectedFrom(const Sockets& sockets, const QHostAddress& from)
{
    return int(std::count_if(sockets.begin(), sockets.end(), [&](const auto& socket) {
        return socket->state() == QAbstractSocket::ConnectedState &&
               (from.isNull() || socket->localAddress() == from);
    }));
}

QByteArray everyLog;
void keepLog(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    everyLog += QByteArray(context.category) + ": " + message.toUtf8() + '\n';
}
} // namespace

class TestCampusWeb : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void requests_data();
    void requests();
    void allRoomsWhileOneIsInUse();
    void sentMeansConfirmed();
    void pipelinedRequests_data();
    void pipelinedRequests();
    void idempotencyKey_data();
    void idempotencyKey();
    void httpsCookieIsSecure();
    void reloadTakesAccountsAway();
    void connectionsAreBoundedPerAddressAndInTime();
    void framing_data();
    void framing();
    void wrongLoginsElsewhereLeaveALoginThrough();
    void tokenStaysKnownAcrossReloadsAndIsCheckedOnce();
    void secretsStayOutOfTheLog();
    void othersKeysLeaveAKeyInPlace();
    void aClientThatDoesNotReadIsClosed();
    void aLoginUnderWayWhenStoppingIsAnswered();

private:
    QByteArray host() const { return "Host: 127.0.0.1:" + QByteArray::number(m_port) + "\r\n"; }
    HttpAnswer ask(const QByteArray& method, const QByteArray& target, const QByteArray& headers,
                   const QByteArray& body = {})
    {
        return HttpAsk(m_port, method, target, headers, body, m_server->Secure());
    }
    bool start(const QByteArray& extraWeb = {});
    QByteArray login();

    QTemporaryDir m_dir;
    QString m_userHash, m_tokenHash;
    FakeRoom m_rooms[3]; // a, b, busy
    HeldPort m_held; // the page's port, the test's alone
    quint16 m_port = 0;
    std::unique_ptr<Campus> m_campus;
    std::unique_ptr<CampusServer> m_server;
};

void TestCampusWeb::initTestCase()
{
    m_userHash = PasswordHash::Make(kPassword);
    m_tokenHash = PasswordHash::Make(kToken);
    for (FakeRoom& room : m_rooms)
        QVERIFY2(room.server.start(), qPrintable(room.server.error()));
}

// The service as `lumo serve` starts it, on a port of its own.
bool TestCampusWeb::start(const QByteArray& extraWeb)
{
    m_port = m_held.port();
    QByteArray text = "[web]\nlisten=127.0.0.1:" + QByteArray::number(m_port) + "\n" + extraWeb +
                      "[service]\nprobe=0\n[rooms]\n";
    const char* ids[] = {"a", "b", "busy"};
    for (int i = 0; i < 3; ++i)
        text += QByteArray(ids[i]) + "\\name=教学楼 " + QByteArray::number(101 + i) + "\n" +
                ids[i] + "\\device=" + m_rooms[i].server.rfc2217Url().toUtf8() + "\n";
    text += "[users]\nalice=" + m_userHash.toLatin1() + "\n[tokens]\nnightly=" +
            m_tokenHash.toLatin1() + "\n";
    const QString path = m_dir.filePath(QStringLiteral("serve.conf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return false;
    file.close();
    const ServeConfig config = ServeConfig::Load(path);
    m_campus = std::make_unique<Campus>(config.rooms);
    m_server = std::make_unique<CampusServer>(*m_campus, config);
    m_server->SetMaxConnections(256); // the floor, whatever descriptors this machine gives
    return m_server->Start(config);
}

void TestCampusWeb::init()
{
    QVERIFY2(start(), qPrintable(m_server->ErrorString()));
}

void TestCampusWeb::cleanup()
{
    m_server.reset();
    m_campus.reset();
}

// A session cookie, as a browser keeps it after logging in.
QByteArray TestCampusWeb::login()
{
    const HttpAnswer answer = ask("POST", "/login", host(), "user=alice&password=" + QByteArray(kPassword).replace(' ', '+'));
    const qsizetype at = answer.head.indexOf("lumo_session=");
    return at < 0 ? QByteArray() : answer.head.mid(at).split(';').first();
}

void TestCampusWeb::requests_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QString>("credentials"); // session, token, wrong token, none, 10 wrong logins
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answerHas");
    QTest::addColumn<QByteArray>("arrives"); // in room a

    const QByteArray none;
    const QString session = QStringLiteral("session"), token = QStringLiteral("token");
    const QByteArray post = "POST", get = "GET", send = "/api/v1/rooms/a/commands/c";
    QTest::newRow("login") << post << QByteArray("/login") << QStringLiteral("none") << none
                           << QByteArray("user=alice&password=correct+horse") << 303
                           << QByteArray("Location: /\r\nSet-Cookie: lumo_session=") << none;
    QTest::newRow("cookie flags") << post << QByteArray("/login") << QStringLiteral("none") << none
                                  << QByteArray("user=alice&password=correct+horse") << 303
                                  << QByteArray("; Path=/; HttpOnly; SameSite=Strict\r\n") << none;
    QTest::newRow("wrong password") << post << QByteArray("/login") << QStringLiteral("none")
                                    << none << QByteArray("user=alice&password=correct+horsE")
                                    << 401 << QByteArray("id=\"login-form\"") << none;
    QTest::newRow("page needs a session") << get << QByteArray("/") << QStringLiteral("none")
                                          << none << none << 303 << QByteArray("Location: /login")
                                          << none;
    QTest::newRow("rooms page") << get << QByteArray("/") << session << none << none << 200
                                << QByteArray("<li class=\"room\" data-room=\"b\">") << none;
    QTest::newRow("rooms page in the browser's language")
        << get << QByteArray("/") << session << QByteArray("Accept-Language: en-GB,en;q=0.8\r\n") << none
        << 200 << QByteArray("<html lang=\"en\">") << none;
    QTest::newRow("the switch's language kept in a cookie")
        << get << QByteArray("/login?hl=zh") << QStringLiteral("none") << QByteArray("Accept-Language: en\r\n")
        << none << 200 << QByteArray("Set-Cookie: lumo_lang=zh; Path=/; Max-Age=31536000") << none;
    QTest::newRow("the login form in the language chosen")
        << get << QByteArray("/login") << QStringLiteral("none")
        << QByteArray("Accept-Language: zh-CN\r\nCookie: lumo_lang=en\r\n") << none << 200
        << QByteArray("<label for=\"password\">Password</label>") << none;
    QTest::newRow("counts by state above the rooms")
        << get << QByteArray("/") << session << none << none << 200
        << QByteArray("<p id=\"counts\">3 rooms <span class=\"count\" data-state=\"unreachable\"") << none;
    QTest::newRow("the page's style under its hashed name, kept a year")
        << get << QByteArray("HASHED:/campus.css") << QStringLiteral("none") << none << none << 200
        << QByteArray("Cache-Control: max-age=31536000, immutable") << none;
    QTest::newRow("a room's picture under its hashed name, kept a year")
        << get << QByteArray("HASHED:/p/TOUYINGGUAND-3.png") << QStringLiteral("none") << none << none << 200
        << QByteArray("Cache-Control: max-age=31536000, immutable") << none;
    QTest::newRow("a room's panel") << get << QByteArray("/rooms/a/") << session << none << none
                                    << 200 << QByteArray("data-api=\"/api/v1/rooms/a\"") << none;
    QTest::newRow("rooms by session") << get << QByteArray("/api/v1/rooms") << session << none
                                      << none << 200
                                      << QByteArray("\"id\":\"a\",\"last\":null,\"name\":\"教学楼 101\"")
                                      << none;
    QTest::newRow("command by session") << post << send << session << none << none << 200
                                        << QByteArray("\"sent\":\"c\"}") << QByteArray("c");
    QTest::newRow("command by token, label") // 投影机关
        << post << QByteArray("/api/v1/rooms/a/commands/%E6%8A%95%E5%BD%B1%E6%9C%BA%E5%85%B3")
        << token << none << none << 200 << QByteArray("\"sent\":\"d\"}") << QByteArray("d");
    QTest::newRow("no session, no token") << post << send << QStringLiteral("none") << none << none
                                          << 401 << QByteArray("\"error\":") << none;
    QTest::newRow("wrong token") << post << send << QStringLiteral("wrong token") << none << none
                                 << 401 << QByteArray("\"error\":") << none;
    QTest::newRow("token by its name") << post << send << QStringLiteral("named token") << none
                                       << none << 200 << QByteArray("\"sent\":\"c\"}")
                                       << QByteArray("c");
    QTest::newRow("wrong secret of a named token")
        << post << send << QStringLiteral("named wrong token") << none << none << 401
        << QByteArray("\"error\":") << none;
    QTest::newRow("a token under another's name")
        << post << send << QStringLiteral("misnamed token") << none << none << 401
        << QByteArray("\"error\":") << none;
    QTest::newRow("10 wrong logins") << post << send << QStringLiteral("10 wrong logins") << none
                                     << none << 429 << QByteArray("\"error\":") << none;
    QTest::newRow("session after 10 wrong logins") // a class behind one address
        << get << QByteArray("/api/v1/rooms") << QStringLiteral("10 wrong logins, session") << none
        << none << 200 << QByteArray("\"rooms\"") << none;
    QTest::newRow("host with junk after the address")
        << get << QByteArray("/login") << QStringLiteral("none") << QByteArray("Host: [::1]evil\r\n")
        << none << 421 << QByteArray("\"error\":") << none;
    QTest::newRow("host with a port that is no number")
        << get << QByteArray("/login") << QStringLiteral("none")
        << QByteArray("Host: localhost:foo\r\n") << none << 421 << QByteArray("\"error\":") << none;
    QTest::newRow("other host") << post << send << token
                                << QByteArray("Host: campus.example:8420\r\n") << none << 421
                                << QByteArray("\"error\":") << none;
    QTest::newRow("GET on a command") << get << send << token << none << none << 405
                                      << QByteArray("\"error\":") << none;
    QTest::newRow("unknown room") << post << QByteArray("/api/v1/rooms/zz/commands/c") << token
                                  << none << none << 404 << QByteArray("\"error\":") << none;
    QTest::newRow("unknown room's panel") << get << QByteArray("/rooms/zz/") << session << none
                                          << none << 404 << QByteArray("\"error\":") << none;
    QTest::newRow("unknown room in the list")
        << post << QByteArray("/api/v1/rooms/all/commands/c") << token << none
        << QByteArray("{\"rooms\":[\"a\",\"zz\"]}") << 404 << QByteArray("zz") << none;
    QTest::newRow("empty list chooses no room")
        << post << QByteArray("/api/v1/rooms/all/commands/c") << token << none
        << QByteArray("{\"rooms\":[]}") << 200 << QByteArray("\"results\":[]") << none;
}

void TestCampusWeb::requests()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QString, credentials);
    QFETCH(QByteArray, headers);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QByteArray, answerHas);
    QFETCH(QByteArray, arrives);

    if (target.startsWith("HASHED:")) {
        const QString path = QString::fromUtf8(target.mid(7));
        QByteArray type;
        const QByteArray campus = CampusPage::Asset(path, &type);
        target = campus.isEmpty() ? PhonePage().Hashed(path) : PhonePage::HashedName(path, campus);
    }
    if (!headers.startsWith("Host:"))
        headers.prepend(host());
    if (credentials.endsWith(QLatin1String("session")))
        headers += "Cookie: theme=dark; " + login() + "\r\n";
    else if (credentials == QLatin1String("token"))
        headers += "Authorization: Bearer " + kToken + "\r\n";
    else if (credentials == QLatin1String("wrong token"))
        headers += "Authorization: Bearer " + QByteArray(kToken).replace('3', '4') + "\r\n";
    else if (credentials == QLatin1String("named token"))
        headers += "Authorization: Bearer nightly." + kToken + "\r\n";
    else if (credentials == QLatin1String("named wrong token"))
        headers += "Authorization: Bearer nightly." + QByteArray(kToken).replace('3', '4') + "\r\n";
    else if (credentials == QLatin1String("misnamed token"))
        headers += "Authorization: Bearer alice." + kToken + "\r\n";
    for (int i = 0; credentials.startsWith(QLatin1String("10 wrong logins")) && i < 10; ++i)
        QCOMPARE(ask("POST", "/login", host(), "user=alice&password=guess").status, 401);

    const HttpAnswer answer = ask(method, target, headers, body);
    QCOMPARE(answer.status, status);
    QVERIFY2(answer.head.contains(answerHas) || answer.body.contains(answerHas),
             answer.head + "\n\n" + answer.body.left(400));
    QVERIFY2(!answer.head.toLower().contains("access-control-allow"), answer.head);
    QVERIFY2(!answer.body.contains(kPassword) && !answer.body.contains(kToken), answer.body);
    QCOMPARE(m_rooms[0].pty.readAvailable(100), arrives);
    QCOMPARE(m_rooms[1].pty.readAvailable(0), QByteArray()); // only its room
}

// Every room at once while another client holds one room's server: that
// room says so, the others are sent, each once, the answer in the list's order.
void TestCampusWeb::allRoomsWhileOneIsInUse()
{
    CMSComm laptop;
    laptop.SetDeviceName(m_rooms[2].server.rfc2217Url());
    laptop.SetPortOpen(true);
    const HttpAnswer answer =
        ask("POST", "/api/v1/rooms/all/commands/projector-off",
            host() + "Authorization: Bearer " + kToken + "\r\nContent-Type: application/json\r\n",
            "{\"rooms\":[\"busy\",\"b\",\"a\",\"b\"]}");
    QCOMPARE(answer.status, 200);
    QVERIFY2(answer.body.startsWith("{\"command\":\"d\",\"results\":[{\"code\":\"in-use\","
                                    "\"command\":\"d\",\"error\":\"") &&
                 answer.body.contains("in use by another program\",\"room\":\"busy\"},"
                                      "{\"code\":\"sent\",\"command\":\"d\",\"room\":\"b\",\"sent\":\"d\"},"
                                      "{\"code\":\"sent\",\"command\":\"d\",\"room\":\"a\",\"sent\":\"d\"}]}"),
             answer.body);
    QCOMPARE(m_rooms[0].pty.read(1), QByteArray("d"));
    QCOMPARE(m_rooms[1].pty.read(1), QByteArray("d"));
    QCOMPARE(m_rooms[0].pty.readAvailable(200) + m_rooms[1].pty.readAvailable(0) +
                 m_rooms[2].pty.readAvailable(0),
             QByteArray()); // "b" named twice is sent once; the busy room gets nothing

    const HttpAnswer rooms = ask("GET", "/api/v1/rooms/busy/status",
                                 host() + "Authorization: Bearer " + kToken + "\r\n");
    QVERIFY2(rooms.body.contains("\"state\":\"in use\""), rooms.body);
}

// Over HTTPS the session cookie is for HTTPS only.
// "Sent" is the room's server confirming it passed the letter on: with the
// room's line open and its server stopped, the letter is written but not
// confirmed, and the answer and the room's state say so.
void TestCampusWeb::sentMeansConfirmed()
{
    const QByteArray headers = host() + "Authorization: Bearer " + kToken + "\r\n";
    QCOMPARE(ask("POST", "/api/v1/rooms/a/commands/c", headers).status, 200);
    QCOMPARE(m_rooms[0].pty.read(1), QByteArray("c"));
    const qint64 pid = m_rooms[0].server.pid();
    QVERIFY(pid > 0);
    ::kill(pid_t(pid), SIGSTOP); // while the line is still open
    const HttpAnswer answer = ask("POST", "/api/v1/rooms/a/commands/e", headers);
    ::kill(pid_t(pid), SIGKILL);
    QCOMPARE(answer.status, 503);
    QCOMPARE(QJsonDocument::fromJson(answer.body).object().value("code").toString(),
             QStringLiteral("not-confirmed"));
    const QJsonObject room =
        QJsonDocument::fromJson(ask("GET", "/api/v1/rooms/a/status", headers).body).object();
    QCOMPARE(room.value("state").toString(), QStringLiteral("unreachable"));
    QCOMPARE(room.value("last").toObject().value("command").toString(), QStringLiteral("c"));
    m_rooms[0].server.stop();
    QVERIFY2(m_rooms[0].server.start(), qPrintable(m_rooms[0].server.error()));
    m_rooms[0].pty.readAvailable(0);
}

void TestCampusWeb::pipelinedRequests_data()
{
    QTest::addColumn<QList<QByteArray>>("requests"); // method, target, body: three each
    QTest::addColumn<QList<QByteArray>>("answers");  // status and a part of the body, each
    QTest::addColumn<QByteArray>("onA");
    QTest::addColumn<QByteArray>("onB");
    const QByteArray all = "/api/v1/rooms/all/commands/c";
    QTest::newRow("two all-rooms actions, each with its rooms")
        << QList<QByteArray>{"POST", all, "{\"rooms\":[\"a\"]}", "POST", all, "{\"rooms\":[\"b\"]}"}
        << QList<QByteArray>{"200", "\"room\":\"a\"", "200", "\"room\":\"b\""} << QByteArray("c")
        << QByteArray("c");
    QTest::newRow("a GET on a command, then a POST")
        << QList<QByteArray>{"GET", "/api/v1/rooms/a/commands/c", "", "POST", "/logout", ""}
        << QList<QByteArray>{"405", "\"error\"", "303", ""} << QByteArray() << QByteArray();
    QTest::newRow("a late answer, then one at once")
        << QList<QByteArray>{"POST", "/api/v1/rooms/b/commands/d", "", "GET", "/login", ""}
        << QList<QByteArray>{"200", "\"sent\":\"d\"", "200", "<form"} << QByteArray()
        << QByteArray("d");
}

// Requests sent one after another on one connection, the first answered
// after its token was checked: each acts on its own method and body, and the
// answers come back in the order of the requests.
void TestCampusWeb::pipelinedRequests()
{
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QList<QByteArray>, answers);
    QFETCH(QByteArray, onA);
    QFETCH(QByteArray, onB);
    QByteArray pipelined;
    for (qsizetype i = 0; i < requests.size(); i += 3)
        pipelined += HttpRequest(requests[i], requests[i + 1],
                                 host() + "Authorization: Bearer " + kToken + "\r\n",
                                 requests[i + 2]);
    const QList<HttpAnswer> got = HttpExchange(m_port, pipelined, int(answers.size() / 2));
    QCOMPARE(got.size(), answers.size() / 2);
    for (qsizetype i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].status, answers[2 * i].toInt());
        QVERIFY2(got[i].body.contains(answers[2 * i + 1]), got[i].body.left(300));
    }
    QCOMPARE(m_rooms[0].pty.readAvailable(100), onA);
    QCOMPARE(m_rooms[1].pty.readAvailable(0), onB);
}

void TestCampusWeb::idempotencyKey_data()
{
    QTest::addColumn<QByteArray>("second");  // the path of the repeat
    QTest::addColumn<bool>("pipelined");      // the repeat right behind the first
    QTest::addColumn<int>("status");          // the repeat's
    QTest::addColumn<QByteArray>("arrives");
    QTest::newRow("the same request again") << QByteArray("/api/v1/rooms/a/commands/c") << false
                                            << 200 << QByteArray("c");
    QTest::newRow("again while the first is under way")
        << QByteArray("/api/v1/rooms/a/commands/c") << true << 200 << QByteArray("c");
    QTest::newRow("the key for another command") << QByteArray("/api/v1/rooms/a/commands/d") << false
                                                 << 422 << QByteArray("c");
}

// A command sent again with its Idempotency-Key is carried out once and
// answered as the first was.
void TestCampusWeb::idempotencyKey()
{
    QFETCH(QByteArray, second);
    QFETCH(bool, pipelined);
    QFETCH(int, status);
    QFETCH(QByteArray, arrives);
    const QByteArray headers =
        host() + "Authorization: Bearer " + kToken + "\r\nIdempotency-Key: 5f0c1a7e-run-1\r\n";
    const QByteArray first = HttpRequest("POST", "/api/v1/rooms/a/commands/c", headers);
    QList<HttpAnswer> answers;
    if (pipelined) {
        answers = HttpExchange(m_port, first + HttpRequest("POST", second, headers), 2);
    } else {
        answers = HttpExchange(m_port, first, 1);
        answers += HttpExchange(m_port, HttpRequest("POST", second, headers), 1);
    }
    QCOMPARE(answers.size(), 2);
    QCOMPARE(answers[0].status, 200);
    QCOMPARE(answers[1].status, status);
    if (status == 200)
        QCOMPARE(answers[1].body, answers[0].body);
    QCOMPARE(m_rooms[0].pty.readAvailable(200), arrives);
}

void TestCampusWeb::httpsCookieIsSecure()
{
    const QString key = m_dir.filePath(QStringLiteral("key.pem"));
    const QString certificate = m_dir.filePath(QStringLiteral("cert.pem"));
    QProcess openssl;
    openssl.setStandardOutputFile(QProcess::nullDevice());
    openssl.setStandardErrorFile(QProcess::nullDevice());
    openssl.start(
        QStringLiteral("openssl"),
        {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
         QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
         QStringLiteral("1"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
         QStringLiteral("-keyout"), key, QStringLiteral("-out"), certificate});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        QSKIP("openssl cannot make a certificate here");
    cleanup();
    QVERIFY2(start("certificate=" + certificate.toUtf8() + "\nkey=" + key.toUtf8() + "\n"),
             qPrintable(m_server->ErrorString()));
    QVERIFY(m_server->Secure());
    const QByteArray cookie = login();
    QVERIFY2(!cookie.isEmpty(), "no session over HTTPS");
    const HttpAnswer again = ask("POST", "/login", host(), "user=alice&password=correct+horse");
    QVERIFY2(again.head.contains("; HttpOnly; SameSite=Strict; Secure\r\n"), again.head);
    QCOMPARE(ask("GET", "/api/v1/rooms/a/status", host() + "Cookie: " + cookie + "\r\n").status, 200);

    // A key that is not one is named, before anything listens.
    QFile::resize(key, 10);
    ServeConfig config = ServeConfig::Load(m_dir.filePath(QStringLiteral("serve.conf")));
    QString error;
    QVERIFY(!CampusServer::Tls(config, &error));
    QVERIFY2(error.contains(key), qPrintable(error));
}

// A token or user taken out of the file (SIGHUP) is refused at once, even
// where it was verified before.
void TestCampusWeb::reloadTakesAccountsAway()
{
    const QByteArray bearer = host() + "Authorization: Bearer " + kToken + "\r\n";
    const QByteArray cookie = host() + "Cookie: " + login() + "\r\n";
    QCOMPARE(ask("GET", "/api/v1/rooms", bearer).status, 200);
    QCOMPARE(ask("GET", "/api/v1/rooms", cookie).status, 200);
    ServeConfig config = ServeConfig::Load(m_dir.filePath(QStringLiteral("serve.conf")));
    config.tokens.clear();
    config.users[QStringLiteral("alice")] = PasswordHash::Make("a new password");
    m_server->Reload(config);
    QCOMPARE(ask("GET", "/api/v1/rooms", bearer).status, 401);
    QCOMPARE(ask("GET", "/api/v1/rooms", cookie).status, 401);
}

// 128 idle connections from one address and slow senders from 20 more take
// the page from nobody else, and none of them outlasts its time.
void TestCampusWeb::connectionsAreBoundedPerAddressAndInTime()
{
    Sockets held;
    // In batches the listen queue takes, each settled before the next.
    const auto open = [&](int count, const QHostAddress& from, const QByteArray& bytes) {
        for (int i = 0; i < count; ++i)
            held.push_back(hold(m_port, from, bytes));
        return QTest::qWaitFor([&] {
            return std::none_of(held.end() - count, held.end(), [](const auto& socket) {
                return socket->state() == QAbstractSocket::ConnectingState;
            });
        });
    };
    const QHostAddress hog = loopback(0, 1);
    for (int i = 0; i < 8; ++i)
        QVERIFY(open(16, hog, {}));
    QTRY_COMPARE(connectedFrom(held, hog), RemoteListener::kMaxPerAddress);
    for (int address = 1; address <= 20; ++address) // 20 × 12 and the hog's 32: 16 too many
        QVERIFY(open(12, loopback(1, address), "GET /login HTTP/1.1\r\nHo"));
    QTRY_COMPARE(connectedFrom(held, {}), 256);
    QCOMPARE(connectedFrom(held, hog), 16); // the hog gave way, oldest first

    QElapsedTimer clock;
    clock.start();
    const HttpAnswer other = HttpAsk(m_port, "GET", "/login", host(), {}, false, loopback(0, 2));
    QCOMPARE(other.status, 200);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE(connectedFrom(held, hog), 15);
    QTRY_COMPARE_WITH_TIMEOUT(connectedFrom(held, {}), 0, RemoteListener::kRequestMs + 2000);
}

void TestCampusWeb::framing_data()
{
    QTest::addColumn<QByteArray>("request"); // "HOST" stands for the Host line
    QTest::addColumn<QByteArray>("answers"); // each answer's status, in order
    QTest::addColumn<bool>("closed");
    const QByteArray get = "GET /login HTTP/1.1\r\nHOST\r\n\r\n";
    QTest::newRow("keep-alive") << get << QByteArray("200") << false;
    QTest::newRow("HTTP/1.0") << QByteArray("GET /login HTTP/1.0\r\nHOST\r\n\r\n")
                              << QByteArray("200") << true;
    QTest::newRow("Connection: close")
        << QByteArray("GET /login HTTP/1.1\r\nHOST\r\nConnection: keep-alive, Close\r\n\r\n")
        << QByteArray("200") << true;
    QTest::newRow("two lengths")
        << QByteArray("POST /login HTTP/1.1\r\nHOST\r\nContent-Length: 0\r\nContent-Length: 5\r\n\r\n"
                      "abcde")
        << QByteArray("400") << true;
    QTest::newRow("length and chunked")
        << QByteArray("POST /login HTTP/1.1\r\nHOST\r\nTransfer-Encoding: chunked\r\n"
                      "Content-Length: 5\r\n\r\n0\r\n\r\n") + get
        << QByteArray("400") << true;
    // The HEAD answer's length is GET's, but no body follows: the next
    // answer starts right after its headers.
    QTest::newRow("HEAD") << QByteArray("HEAD /login HTTP/1.1\r\nHOST\r\n\r\n") + get
                          << QByteArray("405 200") << false;
    QTest::newRow("an upgrade asked for: one answer")
        << QByteArray("GET /login HTTP/1.1\r\nHOST\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n"
                      "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n")
        << QByteArray("404") << true;
}

void TestCampusWeb::framing()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answers);
    QFETCH(bool, closed);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    socket.write(request.replace("HOST", host().trimmed()));
    QByteArray received;
    const bool ended = QTest::qWaitFor(
        [&] {
            received += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        closed ? 5000 : 1000);
    QCOMPARE(ended, closed);
    QByteArray statuses;
    for (qsizetype at = 0; at < received.size();) {
        QVERIFY2(received.mid(at).startsWith("HTTP/1.1 "), received.mid(at, 80));
        statuses += (statuses.isEmpty() ? "" : " ") + received.mid(at + 9, 3);
        const qsizetype end = received.indexOf("\r\n\r\n", at);
        QVERIFY(end > at);
        const QByteArray head = received.mid(at, end - at).toLower();
        const qsizetype length = head.mid(head.indexOf("content-length:") + 15).split('\r').first().trimmed().toLongLong();
        at = end + 4 + (head.startsWith("http/1.1 405") && request.startsWith("HEAD") ? 0 : length);
    }
    QCOMPARE(statuses, answers);
}

// Wrong logins from six addresses, three at once each, hold up a real
// login from elsewhere by a round of checks at most.
void TestCampusWeb::wrongLoginsElsewhereLeaveALoginThrough()
{
    Sockets guessers;
    const QByteArray guess = "POST /login HTTP/1.1\r\n" + host() +
                             "Content-Length: 25\r\nConnection: close\r\n\r\nuser=alice&password=guess";
    for (int address = 1; address <= 6; ++address)
        for (int i = 0; i < 3; ++i)
            guessers.push_back(hold(m_port, loopback(2, address), guess));
    QTRY_COMPARE(std::count_if(guessers.begin(), guessers.end(),
                               [](const auto& socket) { return socket->bytesToWrite() == 0; }),
                 qsizetype(guessers.size()));
    const HttpAnswer login = HttpAsk(m_port, "POST", "/login", host(),
                                     "user=alice&password=correct+horse", false, loopback(2, 9));
    QCOMPARE(login.status, 303);
}

// Eight scripts at once with the same token on a fresh server: one check
// for them all. A reload keeps the token known (an address refused for
// failures is still served with it).
void TestCampusWeb::tokenStaysKnownAcrossReloadsAndIsCheckedOnce()
{
    const QByteArray request =
        "GET /api/v1/rooms HTTP/1.1\r\n" + host() + "Authorization: Bearer " + kToken + "\r\n\r\n";
    Sockets scripts;
    for (int i = 0; i < 8; ++i)
        scripts.push_back(hold(m_port, loopback(0, 1), request));
    for (const auto& script : scripts) {
        QByteArray answer;
        QTRY_VERIFY((answer += script->readAll()).size() >= 12);
        QCOMPARE(answer.left(12), QByteArray("HTTP/1.1 200"));
    }
    m_server->Reload(ServeConfig::Load(m_dir.filePath(QStringLiteral("serve.conf"))));
    for (int i = 0; i < 10; ++i)
        QCOMPARE(ask("GET", "/api/v1/rooms", host() + "Authorization: Bearer guess\r\n").status, 401);
    QCOMPARE(ask("GET", "/api/v1/rooms", host() + "Authorization: Bearer guess\r\n").status, 429);
    QCOMPARE(ask("GET", "/api/v1/rooms", host() + "Authorization: Bearer " + kToken + "\r\n").status,
             200);
}

// With every debug message on, what a technician turns on first, no
// token, cookie or password reaches the log, nor a password typed as the
// user's name.
void TestCampusWeb::secretsStayOutOfTheLog()
{
    everyLog.clear();
    qInstallMessageHandler(keepLog);
    Logging::KeepLinesWhole(); // over the handler there is, as in the service
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true"));
    const QByteArray cookie = login();
    ask("POST", "/api/v1/rooms/x%0D%0Alumo.web:%20FORGED/commands/c%0Aalso",
        host() + "Cookie: " + cookie + "\r\n");
    ask("GET", "/api/v1/rooms", host() + "Cookie: " + cookie + "\r\n");
    ask("GET", "/api/v1/rooms", host() + "Authorization: Bearer " + kToken + "\r\n");
    ask("POST", "/login", host(), "user=Hunter2-secret&password=x");
    QLoggingCategory::setFilterRules({});
    qInstallMessageHandler(nullptr);
    Logging::KeepLinesWhole();
    QVERIFY2(everyLog.contains("lumo.web: refused login as an unknown user"), everyLog);
    QVERIFY2(everyLog.contains("x\\x0d\\x0alumo.web: FORGED"), everyLog);
    QVERIFY2(!everyLog.contains("\nlumo.web: FORGED"), everyLog);
    for (const QByteArray& secret : {kToken, cookie.mid(cookie.indexOf('=') + 1),
                                     QByteArray("Hunter2"), QByteArray("horse")})
        QVERIFY2(!everyLog.contains(secret), secret + " in\n" + everyLog);
}

// Another user's or token's keys, however many, never push out a victim's:
// its command sent again is answered as before and not carried out again.
void TestCampusWeb::othersKeysLeaveAKeyInPlace()
{
    IdempotencyKeys keys;
    int carried = 0;
    const auto send = [&](const QString& who, const QByteArray& key) {
        WebServer::Request request;
        request.method = WebServer::Method::Post;
        request.path = QStringLiteral("/api/v1/rooms/a/commands/c");
        request.headers = {{"Idempotency-Key", key}};
        std::optional<WebServer::Reply> answered;
        request.answer = [&answered](const WebServer::Reply& reply) { answered = reply; };
        bool carryOut = false;
        if (const auto now = keys.Take(request, who, &carryOut))
            return now;
        if (carryOut)
            request.answer(WebServer::JsonReply(WebServer::StatusCode::Ok,
                                                {{"sent", QString::number(++carried)}}));
        return answered;
    };
    QVERIFY(send(QStringLiteral("alice"), "victim-1"));
    for (int i = 0; i < 10'000; ++i)
        send(QStringLiteral("token mallory"), "k" + QByteArray::number(i));
    const auto again = send(QStringLiteral("alice"), "victim-1");
    QVERIFY(again);
    QCOMPARE(again->body, QByteArray("{\"sent\":\"1\"}"));
}

// A client that sends requests and never reads the answers stops being
// read and is closed; another is served meanwhile.
void TestCampusWeb::aClientThatDoesNotReadIsClosed()
{
    QTcpSocket greedy;
    greedy.setReadBufferSize(4096); // then this side reads no more either
    greedy.bind(loopback(0, 7));
    greedy.connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(greedy.waitForConnected(5000));
    const QByteArray request = "GET /login HTTP/1.1\r\n" + host() + "\r\n";
    for (int i = 0; i < 200; ++i)
        greedy.write(request.repeated(100));
    QCOMPARE(ask("POST", "/login", host(), "user=alice&password=correct+horse").status, 303);
    QTRY_COMPARE_WITH_TIMEOUT(greedy.state(), QAbstractSocket::UnconnectedState,
                              RemoteListener::kIdleMs + 10'000);
}

// A login still being checked when the service stops is answered.
void TestCampusWeb::aLoginUnderWayWhenStoppingIsAnswered()
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    socket.write(HttpRequest("POST", "/login", host(), "user=alice&password=correct+horse"));
    QVERIFY(socket.waitForBytesWritten(5000));
    QTRY_VERIFY(m_server->findChildren<QTcpSocket*>().size() == 1); // taken
    m_server->StopTaking();
    QByteArray received;
    QVERIFY(QTest::qWaitFor([&] { return (received += socket.readAll()).contains("\r\n\r\n"); }, 5000));
    QVERIFY2(received.startsWith("HTTP/1.1 503") || received.startsWith("HTTP/1.1 303"), received);
}

QTEST_GUILESS_MAIN(TestCampusWeb)
#include "tst_campusweb.moc"
