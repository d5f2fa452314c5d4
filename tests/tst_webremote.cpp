// The phone remote's interface against the real panel: a CPanelDlg on a
// pseudo-terminal with its remote switched on, asked over TCP the way a
// phone or another system asks, and the bytes read on the far end.
#include "HeldPort.h"
#include "HttpClient.h"
#include "Pty.h"
#include "control/Line.h"
#include "dialogs/CPanelDlg.h"
#include "serial/CMSComm.h"
#include "phone/PhoneRemote.h"
#include "http/RemoteAccess.h"

#include <QApplication>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include "phone/PhonePage.h"

#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <QtEndian>

#include <memory>

namespace
{
using Answer = HttpAnswer;
} // namespace

class TestWebRemote : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void answers_data();
    void answers();
    void assetsAreCompressedAndValidated();
    void tenFailuresBlockTheAddress();
    void failuresCountPerNetworkInATableOfFixedSize();
    void eachSwitchOnHasItsOwnSecretAndATakenPortIsNamed();
    void lineFailureIs503WithThePanelsMessage();

private:
    // One request on its own connection, as raw HTTP/1.1.
    Answer ask(const QByteArray& method, const QByteArray& target, const QByteArray& headers,
               const QByteArray& body = {});
    QByteArray secret() const;
    QByteArray host() const { return "127.0.0.1:" + QByteArray::number(m_port); }

    QTemporaryDir m_config;
    HeldPort m_held; // the remote's port (remote/port), the test's alone
    quint16 m_port = 0;
    std::unique_ptr<Pty> m_pty;
    std::unique_ptr<CMSComm> m_serial;
    std::unique_ptr<CPanelDlg> m_panel;
};

void TestWebRemote::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.filePath(QStringLiteral("user"))));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_config.filePath(QStringLiteral("system"))));
}

void TestWebRemote::init()
{
    m_port = m_held.port();
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Lumo"),
              QStringLiteral("Lumo"))
        .setValue(QStringLiteral("remote/port"), m_port);
    m_pty = std::make_unique<Pty>();
    QVERIFY2(m_pty->isValid(), qPrintable(m_pty->error()));
    qputenv("LUMO_COM2", QFile::encodeName(m_pty->slavePath()));
    m_serial = std::make_unique<CMSComm>();
    Line::Open(*m_serial, 2);
    m_panel = std::make_unique<CPanelDlg>(*m_serial);
    QVERIFY2(m_panel->Remote()->SwitchOn(), qPrintable(m_panel->Remote()->ErrorString()));
}

void TestWebRemote::cleanup()
{
    m_panel.reset();
    m_serial.reset();
    m_pty.reset();
}

QByteArray TestWebRemote::secret() const
{
    const QUrl link(m_panel->Remote()->Links().value(0));
    return QUrlQuery(link).queryItemValue(QStringLiteral("k")).toLatin1();
}

Answer TestWebRemote::ask(const QByteArray& method, const QByteArray& target,
                          const QByteArray& headers, const QByteArray& body)
{
    return HttpAsk(m_port, method, target, headers, body);
}

void TestWebRemote::answers_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QString>("credentials"); // right, wrong, none, cookie
    QTest::addColumn<QByteArray>("extraHeaders");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answerHas");
    QTest::addColumn<QByteArray>("arrives");

    const QByteArray none;
    const QString right = QStringLiteral("right");
    QTest::newRow("letter") << QByteArray("POST") << QByteArray("/api/v1/commands/c") << right
                            << none << none << 200 << QByteArray("\"sent\":\"c\"}") << QByteArray("c");
    QTest::newRow("name, any case") << QByteArray("POST") << QByteArray("/api/v1/commands/Projector-Off")
                                    << right << none << none << 200 << QByteArray("\"sent\":\"d\"}")
                                    << QByteArray("d");
    QTest::newRow("label, URL-encoded")
        << QByteArray("POST") << QByteArray("/api/v1/commands/%E6%8A%95%E5%BD%B1%E6%9C%BA%E5%BC%80")
        << right << none << none << 200 << QByteArray("\"sent\":\"c\"}") << QByteArray("c");
    QTest::newRow("label with space and slash") // 银幕 降/停
        << QByteArray("POST")
        << QByteArray("/api/v1/commands/%E9%93%B6%E5%B9%95%20%E9%99%8D%2F%E5%81%9C") << right
        << none << none << 200 << QByteArray("\"sent\":\"t\"}") << QByteArray("t");
    QTest::newRow("secret as cookie") << QByteArray("POST") << QByteArray("/api/v1/commands/v")
                                      << QStringLiteral("cookie") << none << none << 200
                                      << QByteArray("\"sent\":\"v\"}") << QByteArray("v");
    QTest::newRow("unknown command") << QByteArray("POST") << QByteArray("/api/v1/commands/x")
                                     << right << none << none << 404 << QByteArray("error") << none;
    QTest::newRow("secret missing") << QByteArray("POST") << QByteArray("/api/v1/commands/c")
                                    << QStringLiteral("none") << none << none << 401
                                    << QByteArray("error") << none;
    QTest::newRow("secret wrong") << QByteArray("POST") << QByteArray("/api/v1/commands/c")
                                  << QStringLiteral("wrong") << none << none << 401
                                  << QByteArray("error") << none;
    QTest::newRow("other host") << QByteArray("POST") << QByteArray("/api/v1/commands/c") << right
                                << QByteArray("Host: remote.example:8421\r\n") << none << 421
                                << QByteArray("error") << none;
    QTest::newRow("other origin") << QByteArray("POST") << QByteArray("/api/v1/commands/c") << right
                                  << QByteArray("Origin: http://remote.example\r\n") << none << 403
                                  << QByteArray("error") << none;
    QTest::newRow("GET does not send") << QByteArray("GET") << QByteArray("/api/v1/commands/c")
                                       << right << none << none << 405 << QByteArray("error") << none;
    QTest::newRow("body over 4 KB") << QByteArray("POST") << QByteArray("/api/v1/commands/c") << right
                                    << none << QByteArray(5000, 'x') << 413 << none << none;
    QTest::newRow("headers over 8 KB") << QByteArray("POST") << QByteArray("/api/v1/commands/c") << right
                                       << "X-Filler: " + QByteArray(9000, 'x') + "\r\n" << none
                                       << 431 << none << none;
    QTest::newRow("request over 16 KB") << QByteArray("POST") << QByteArray("/api/v1/commands/c")
                                        << right << none << QByteArray(20'000, 'x') << 413 << none
                                        << none;
    QTest::newRow("status") << QByteArray("GET") << QByteArray("/api/v1/status") << right << none
                            << none << 200 << QByteArray("\"open\":true,\"port\":\"COM2\"") << none;
    QTest::newRow("command list") << QByteArray("GET") << QByteArray("/api/v1/commands") << right
                                  << none << none << 200
                                  << QByteArray("{\"label\":\"投影机开\",\"letter\":\"c\",\"meaning\":\"projector on\",\"name\":\"projector-on\"}")
                                  << none;
    QTest::newRow("QR link sets the cookie") << QByteArray("GET") << QByteArray("/?k=SECRET")
                                             << QStringLiteral("none") << none << none << 303
                                             << QByteArray("HttpOnly; SameSite=Strict") << none;
    QTest::newRow("page, in the browser's language")
        << QByteArray("GET") << QByteArray("/") << QStringLiteral("none")
        << QByteArray("Accept-Language: zh-CN,zh;q=0.9,en;q=0.8\r\n") << none << 200
        << QByteArray("<span class=\"t\">投影机开</span>") << none;
    QTest::newRow("English page: each picture's caption in English")
        << QByteArray("GET") << QByteArray("/") << QStringLiteral("none")
        << QByteArray("Accept-Language: en-GB,en\r\n") << none << 200
        << QByteArray("<span class=\"t cap\">projector on</span>") << none;
    QTest::newRow("pressed pictures wait for the first touch")
        << QByteArray("GET") << QByteArray("/") << QStringLiteral("none") << none << none << 200
        << QByteArray("<img class=\"d\" alt=\"\" width=\"120\" height=\"40\" data-src=\"/p/TOUYINGKAID-1.") << none;
    QTest::newRow("style under its hashed name, kept a year")
        << QByteArray("GET") << QByteArray("HASHED:/phone.css") << QStringLiteral("none") << none << none
        << 200 << QByteArray("Cache-Control: max-age=31536000, immutable") << none;
    QTest::newRow("picture under its hashed name, kept a year")
        << QByteArray("GET") << QByteArray("HASHED:/p/TOUYINGKAIU-2.png") << QStringLiteral("none") << none
        << none << 200 << QByteArray("Cache-Control: max-age=31536000, immutable") << none;
    QTest::newRow("an old hash: what there is now, for an hour")
        << QByteArray("GET") << QByteArray("/phone.0123456789.css") << QStringLiteral("none") << none << none
        << 200 << QByteArray("Cache-Control: max-age=3600") << none;
    QTest::newRow("the page when offline: a heading and a way to try again")
        << QByteArray("GET") << QByteArray("/offline-zh.html") << QStringLiteral("none") << none << none
        << 200 << QByteArray("<h1>Lumo：无法连接</h1>") << none;
}

// An asset comes compressed to a client that takes deflate, the same bytes
// once inflated, and not at all again while the client's copy is current.
void TestWebRemote::assetsAreCompressedAndValidated()
{
    const QByteArray host = "Host: " + this->host() + "\r\n";
    const Answer plain = ask("GET", "/phone.js", host);
    QCOMPARE(plain.status, 200);
    QVERIFY2(!plain.head.contains("Content-Encoding"), plain.head);
    const Answer packed = ask("GET", "/phone.js", host + "Accept-Encoding: gzip, deflate, br\r\n");
    QVERIFY2(packed.head.contains("Content-Encoding: deflate"), packed.head);
    QVERIFY(packed.body.size() < plain.body.size() / 2);
    QByteArray length(4, 0); // qUncompress wants the length first
    qToBigEndian(quint32(plain.body.size()), length.data());
    QCOMPARE(qUncompress(length + packed.body), plain.body);

    const QRegularExpression etagRe(QStringLiteral("ETag: (\"[^\"]+\")"));
    const QByteArray tag = etagRe.match(QString::fromLatin1(plain.head)).captured(1).toLatin1();
    QVERIFY2(!tag.isEmpty(), plain.head);
    const Answer again = ask("GET", "/phone.js", host + "If-None-Match: \"old\", " + tag + "\r\n");
    QCOMPARE(again.status, 304);
    QCOMPARE(again.body, QByteArray());
    QCOMPARE(ask("GET", "/phone.js", host + "If-None-Match: \"old\"\r\n").status, 200);
    // The page itself is not kept: no validator, a new answer each time.
    QVERIFY(!ask("GET", "/", host).head.contains("ETag"));
}

void TestWebRemote::answers()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QString, credentials);
    QFETCH(QByteArray, extraHeaders);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QByteArray, answerHas);
    QFETCH(QByteArray, arrives);

    QByteArray headers = extraHeaders.startsWith("Host:") ? QByteArray() : "Host: " + host() + "\r\n";
    headers += extraHeaders;
    if (credentials == QLatin1String("right"))
        headers += "Authorization: Bearer " + secret() + "\r\n";
    else if (credentials == QLatin1String("wrong"))
        headers += "Authorization: Bearer " + QByteArray(secret().size(), 'A') + "\r\n";
    else if (credentials == QLatin1String("cookie"))
        headers += "Cookie: theme=dark; lumo_remote=" + secret() + "\r\n";
    target.replace("SECRET", secret());
    if (target.startsWith("HASHED:"))
        target = PhonePage().Hashed(QString::fromUtf8(target.mid(7)));

    const Answer answer = ask(method, target, headers, body);
    QCOMPARE(answer.status, status);
    QVERIFY2(answer.head.contains(answerHas) || answer.body.contains(answerHas),
             answer.head + "\n\n" + answer.body.left(300));
    QVERIFY2(!answer.head.toLower().contains("access-control-allow"), answer.head);
    QVERIFY2(!answer.body.contains(secret()), "the secret is never sent back");
    QCOMPARE(m_pty->readAvailable(100), arrives);
}

// Ten wrong secrets refuse the address further guesses, but not the phone
// behind the same address that holds the secret.
void TestWebRemote::tenFailuresBlockTheAddress()
{
    const QByteArray headers = "Host: " + host() + "\r\n";
    for (int i = 0; i < 10; ++i)
        QCOMPARE(ask("POST", "/api/v1/commands/c", headers + "Authorization: Bearer guess\r\n")
                     .status,
                 401);
    QCOMPARE(ask("POST", "/api/v1/commands/c", headers + "Authorization: Bearer guess\r\n").status,
             429);
    QCOMPARE(m_pty->readAvailable(100), QByteArray());
    const Answer phone =
        ask("POST", "/api/v1/commands/c", headers + "Authorization: Bearer " + secret() + "\r\n");
    QCOMPARE(phone.status, 200);
    QCOMPARE(m_pty->read(1), QByteArray("c"));
}

// An IPv6 /64 is one address; however many addresses fail, the table keeps
// its size, and an address refused now is the last to be forgotten.
void TestWebRemote::failuresCountPerNetworkInATableOfFixedSize()
{
    RemoteAccess access;
    for (int i = 0; i < RemoteAccess::kMaxFailures; ++i)
        access.Failed(QHostAddress(QStringLiteral("2001:db8::%1").arg(i + 1)), 0);
    QVERIFY(access.Blocked(QHostAddress(QStringLiteral("2001:db8::beef")), 1));
    QVERIFY(!access.Blocked(QHostAddress(QStringLiteral("2001:db8:0:1::1")), 1));
    // The /64 is refused, not its other devices: their checks only go last.
    QVERIFY(!access.AddressBlocked(QHostAddress(QStringLiteral("2001:db8::beef")), 1));
    QVERIFY(access.Suspect(QHostAddress(QStringLiteral("2001:db8::beef")), 1));
    for (int i = 0; i < RemoteAccess::kMaxFailures; ++i)
        access.Failed(QHostAddress(QStringLiteral("2001:db8::bad")), 1);
    QVERIFY(access.AddressBlocked(QHostAddress(QStringLiteral("2001:db8::bad")), 2));
    for (quint32 i = 0; i < 3 * RemoteAccess::kMaxRecords; ++i)
        access.Failed(QHostAddress(0x0a000000 + i), 2 + i);
    QCOMPARE(access.Remembered(), RemoteAccess::kMaxRecords);
    QVERIFY(access.Blocked(QHostAddress(QStringLiteral("2001:db8::1")), 3));
}

void TestWebRemote::eachSwitchOnHasItsOwnSecretAndATakenPortIsNamed()
{
    const QByteArray headers = "Host: " + host() + "\r\n";
    const QByteArray before = secret();
    QVERIFY(before.size() >= 22); // at least 128 bits in Base64
    m_panel->Remote()->SwitchOff();
    QCOMPARE(ask("GET", "/api/v1/status", headers + "Authorization: Bearer " + before + "\r\n").status,
             0); // nobody listens
    QVERIFY(m_panel->Remote()->SwitchOn());
    QVERIFY(secret() != before);
    QCOMPARE(ask("POST", "/api/v1/commands/c", headers + "Authorization: Bearer " + before + "\r\n")
                 .status,
             401);
    QCOMPARE(m_pty->readAvailable(100), QByteArray());

    m_panel->Remote()->SwitchOff();
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::Any, m_port));
    QVERIFY(!m_panel->Remote()->SwitchOn());
    QVERIFY2(m_panel->Remote()->ErrorString().contains(QString::number(m_port)),
             qPrintable(m_panel->Remote()->ErrorString()));
}

void TestWebRemote::lineFailureIs503WithThePanelsMessage()
{
    // The panel shows the failure too, after the answer; it is closed here.
    QTimer closer;
    connect(&closer, &QTimer::timeout, [] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    closer.start(20);
    m_pty->close(); // the far end hangs up, as a pulled adapter does
    const Answer answer = ask("POST", "/api/v1/commands/c",
                              "Host: " + host() + "\r\nAuthorization: Bearer " + secret() + "\r\n");
    QCOMPARE(answer.status, 503);
    QVERIFY2(answer.body.startsWith("{\"code\":\"disconnected\",\"command\":\"c\",\"error\":\"") &&
                 answer.body.contains("COM2"),
             answer.body);
}

QTEST_MAIN(TestWebRemote)
#include "tst_webremote.moc"
