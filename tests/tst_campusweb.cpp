// The campus page and its JSON interface against the real server: the
// configuration read from a file, rooms on pseudo-terminals behind real
// ser2net instances, requests as raw HTTP over TCP, bytes read on the ptys.
#include "HttpClient.h"
#include "Pty.h"
#include "Ser2net.h"
#include "serial/CMSComm.h"
#include "serve/Campus.h"
#include "serve/CampusServer.h"
#include "serve/PasswordHash.h"
#include "serve/ServeConfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

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

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
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
    void httpsCookieIsSecure();
    void reloadTakesAccountsAway();

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
    m_port = freePort();
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
    QTest::newRow("10 wrong logins") << post << send << QStringLiteral("10 wrong logins") << none
                                     << none << 429 << QByteArray("\"error\":") << none;
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

    if (!headers.startsWith("Host:"))
        headers.prepend(host());
    if (credentials == QLatin1String("session"))
        headers += "Cookie: theme=dark; " + login() + "\r\n";
    else if (credentials == QLatin1String("token"))
        headers += "Authorization: Bearer " + kToken + "\r\n";
    else if (credentials == QLatin1String("wrong token"))
        headers += "Authorization: Bearer " + QByteArray(kToken).replace('3', '4') + "\r\n";
    for (int i = 0; credentials == QLatin1String("10 wrong logins") && i < 10; ++i)
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

QTEST_GUILESS_MAIN(TestCampusWeb)
#include "tst_campusweb.moc"
