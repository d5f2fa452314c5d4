// The campus service on an MQTT broker: Debian's mosquitto started here on a
// free port, real ser2net per room, commands published with mosquitto_pub.
#include "HttpClient.h"
#include "Mosquitto.h"
#include "Pty.h"
#include "Ser2net.h"
#include "control/Commands.h"
#include "serial/CMSComm.h"
#include "serve/rooms/Campus.h"
#include "serve/web/CampusServer.h"
#include "serve/mqtt/MqttBridge.h"
#include "serve/mqtt/MqttDiscovery.h"
#include "serve/mqtt/MqttLink.h"
#include "serve/config/PasswordHash.h"
#include "serve/config/ServeConfig.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
struct FakeRoom {
    Pty pty;
    Ser2net server{pty.slavePath()};
    RoomConfig config(const QString& id)
    {
        return {id, QStringLiteral("教学楼 ") + id, server.rfc2217Url()};
    }
};

MqttConfig brokerConfig(const Mosquitto& broker, const QString& clientId)
{
    MqttConfig mqtt;
    mqtt.Set(QStringLiteral("broker"), QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()));
    mqtt.clientId = clientId;
    return mqtt;
}

// What a mosquitto_sub -v has printed so far.
QString seen(QProcess& sub)
{
    const QString all =
        sub.property("seen").toString() + QString::fromUtf8(sub.readAllStandardOutput());
    sub.setProperty("seen", all);
    return all;
}

// Waits (bounded) until the bridge has announced every room once.
bool announcedOnce(MqttBridge& bridge)
{
    QSignalSpy announced(&bridge, &MqttBridge::announced);
    return announced.wait(10000);
}

// Starts `watch` on every topic of the prefix and waits until the room's
// retained state came: from then on it hears what is published.
bool watchFromRoom(const Mosquitto& broker, QProcess& watch, const QString& room)
{
    broker.watch(watch, QStringLiteral("lumo/#"));
    return QTest::qWaitFor([&] { return seen(watch).contains(QStringLiteral("lumo/%1/state").arg(room)); },
                           10000);
}

// What arrives on the room's line until `count` bytes came or `ms` passed,
// the event loop running meanwhile (the service runs on it).
QByteArray bytes(Pty& pty, int count, int ms = 10000)
{
    QByteArray got;
    const QDeadlineTimer deadline(ms);
    while (got.size() < count && !deadline.hasExpired()) {
        QTest::qWait(10);
        got += pty.readAvailable(0);
    }
    return got;
}
} // namespace

class TestMqtt : public QObject
{
    Q_OBJECT
private slots:
    void commandsOnce_data();
    void commandsOnce();
    void wrongPasswordKeepsServing();
    void brokerRestartRepeatsNothing();
    void servicesApartAndAcrossRestarts();
    void discoveryFollowsSchema();
    void nodeIdsStayApart();
    void notABrokerIsNamed();
    void oneServicePerRoom();
    void commandForms_data();
    void commandForms();
    void outcomeCodes_data();
    void outcomeCodes();
    void silentBrokerHoldsNothingUp();
    void accessRulesKeepOthersOff();
};

void TestMqtt::commandsOnce_data()
{
    QTest::addColumn<QString>("user");
    QTest::newRow("anonymous") << QString();
    QTest::newRow("account") << QStringLiteral("lumo");
}

// A command reaches its room exactly once and is answered on the room's
// result topic; a retained one, from before or from now, is never carried out.
void TestMqtt::commandsOnce()
{
    QFETCH(QString, user);
    Mosquitto broker(user, QStringLiteral("secret ") + user);
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    FakeRoom a, b;
    QVERIFY(a.server.start() && b.server.start());
    Campus campus({a.config(QStringLiteral("a")), b.config(QStringLiteral("b"))});
    MqttConfig mqtt = brokerConfig(broker, QStringLiteral("test"));
    if (!user.isEmpty()) {
        mqtt.Set(QStringLiteral("username"), user);
        mqtt.Set(QStringLiteral("password_file"), broker.passwordFile("secret " + user));
    }
    QVERIFY(broker.publish(QStringLiteral("lumo/a/command"), "video-signal", true));

    MqttBridge bridge(campus, mqtt);
    QSignalSpy announced(&bridge, &MqttBridge::announced);
    QTRY_COMPARE_WITH_TIMEOUT(announced.count(), 1, 10000);
    QProcess watch;
    broker.watch(watch, QStringLiteral("lumo/#"));
    QTRY_VERIFY(seen(watch).contains(QStringLiteral("lumo/service/test/status online")));

    QVERIFY(broker.publish(QStringLiteral("lumo/b/command"), "e", true));
    QVERIFY(broker.publish(QStringLiteral("lumo/a/command"), "c"));
    QVERIFY(broker.publish(QStringLiteral("lumo/b/command"), "投影机关"));
    QVERIFY(broker.publish(QStringLiteral("lumo/b/command"), "projector-sideways"));
    QCOMPARE(bytes(a.pty, 1), QByteArray("c"));
    QCOMPARE(bytes(b.pty, 1), QByteArray("d"));
    QTRY_VERIFY(seen(watch).contains(QRegularExpression(QStringLiteral(
        "lumo/a/result \\{\"code\":\"sent\",\"command\":\"projector-on\",\"letter\":\"c\",\"sent\":true"))));
    QTRY_VERIFY(seen(watch).contains(QRegularExpression(
        QStringLiteral("lumo/b/result \\{\"code\":\"unknown-command\",\"command\":\"projector-sideways\",\"error\":\"unknown "
                       "command[^\\n]+\"sent\":false"))));
    QTRY_VERIFY(seen(watch).contains(
        QRegularExpression(QStringLiteral("lumo/a/state "
                                          "\\{\"last_command\":\"projector-on\",\"last_command_"
                                          "time\":\"[^\"]+\",\"state\":\"reachable\"\\}"))));
    QCOMPARE(bytes(a.pty, 1, 1000) + bytes(b.pty, 1, 100), QByteArray()); // once each
    QCOMPARE(broker.retained(QStringLiteral("lumo/+/command"), 1, 1), QStringList());
    watch.kill();
    watch.waitForFinished();
}

// A refused password is told in the log in so many words; the service goes
// on serving its page and its rooms.
void TestMqtt::wrongPasswordKeepsServing()
{
    Mosquitto broker(QStringLiteral("lumo"), QStringLiteral("right"));
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    FakeRoom a;
    QVERIFY(a.server.start());
    const HeldPort page;
    const quint16 web = page.port();
    QTemporaryDir dir;
    QFile conf(dir.filePath(QStringLiteral("serve.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[web]\nlisten=127.0.0.1:" + QByteArray::number(web) +
               "\n[service]\nprobe=0\n[mqtt]\nbroker=mqtt://127.0.0.1:" +
               QByteArray::number(broker.port()) + "\nusername=lumo\npassword_file=" +
               broker.passwordFile(QStringLiteral("wrong")).toUtf8() + "\n[tokens]\nt=" +
               PasswordHash::Make("token").toUtf8() + "\n[rooms]\na\\device=" +
               a.server.rfc2217Url().toUtf8() + "\n");
    conf.close();
    QProcess serve;
    serve.setProcessChannelMode(QProcess::MergedChannels);
    serve.start(QStringLiteral(LUMO_BIN), {QStringLiteral("serve"), QStringLiteral("--config"),
                                           conf.fileName()});
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += serve.readAll()).contains("refused the user name or password"),
                             15000);
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(web) + "\r\n";
    QCOMPARE(HttpAsk(web, "GET", "/login", host).status, 200);
    QCOMPARE(HttpAsk(web, "POST", "/api/v1/rooms/a/commands/c",
                     host + "Authorization: Bearer token\r\n")
                 .status,
             200);
    QCOMPARE(bytes(a.pty, 1), QByteArray("c"));
    // The password corrected in its file, then a reload: the service connects.
    broker.passwordFile(QStringLiteral("right")); // the same file, rewritten
    ::kill(pid_t(serve.processId()), SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT((log += serve.readAll()).contains("connected to 127.0.0.1"), 15000);
    serve.terminate();
    QVERIFY(serve.waitForFinished(10000));
}

// The broker goes away and comes back: the service is back, its entries and
// status are there again, and what was published meanwhile is not carried out.
void TestMqtt::brokerRestartRepeatsNothing()
{
    Mosquitto broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    FakeRoom a;
    QVERIFY(a.server.start());
    Campus campus({a.config(QStringLiteral("a"))});
    MqttBridge bridge(campus, brokerConfig(broker, QStringLiteral("test")));
    QSignalSpy announced(&bridge, &MqttBridge::announced);
    QTRY_COMPARE_WITH_TIMEOUT(announced.count(), 1, 10000);
    QVERIFY(broker.publish(QStringLiteral("lumo/a/command"), "a"));
    QCOMPARE(bytes(a.pty, 1), QByteArray("a"));

    broker.stop(); // its retained messages go with it
    QTRY_VERIFY(!bridge.IsConnected());
    QVERIFY(broker.start());
    QVERIFY(broker.publish(QStringLiteral("lumo/a/command"), "b")); // while the service is away
    QTRY_COMPARE_WITH_TIMEOUT(announced.count(), 2, 10000);
    QCOMPARE(broker.retained(QStringLiteral("homeassistant/#"), 24).size(), 24);
    QCOMPARE(broker.retained(QStringLiteral("lumo/service/test/status"), 1),
             QStringList(QStringLiteral("lumo/service/test/status online")));
    QVERIFY(broker.publish(QStringLiteral("lumo/a/command"), "c"));
    QCOMPARE(bytes(a.pty, 1), QByteArray("c"));
    QCOMPARE(bytes(a.pty, 1, 1000), QByteArray());
}

// Two services on one broker: `lumo serve` itself (rooms a and b) and one
// with room a too and room z. A command for room a is sent once, by the
// service with the smaller client ID; the other leaves it. Killed, the first is "offline"; started
// again without room b, b's entries go and nobody else's; reloaded under
// another client ID, its old entries go.
void TestMqtt::servicesApartAndAcrossRestarts()
{
    Mosquitto broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    FakeRoom a, b, z;
    QVERIFY(a.server.start() && b.server.start() && z.server.start());
    QTemporaryDir dir;
    const HeldPort page;
    const auto writeConfig = [&](const QByteArray& rooms, const QByteArray& id = "campus-1") {
        QFile file(dir.filePath(QStringLiteral("serve.conf")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[web]\nlisten=127.0.0.1:" + page.number() +
                   "\n[service]\nprobe=0\n[mqtt]\nclient_id=" + id + "\nbroker=mqtt://127.0.0.1:" +
                   QByteArray::number(broker.port()) + "\n[rooms]\n" + rooms);
    };
    writeConfig("a\\device=" + a.server.rfc2217Url().toUtf8() +
                "\nb\\device=" + b.server.rfc2217Url().toUtf8() + "\n");
    QProcess serve;
    serve.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    serve.start(QStringLiteral(LUMO_BIN),
                {QStringLiteral("serve"), QStringLiteral("--config"), dir.filePath("serve.conf")});
    QTRY_VERIFY_WITH_TIMEOUT(
        !broker.retained(QStringLiteral("lumo/service/campus-1/rooms"), 1).isEmpty(), 15000);
    QCOMPARE(broker.retained(QStringLiteral("homeassistant/+/campus-1/#"), 48).size(), 48);

    Campus other({a.config(QStringLiteral("a")), z.config(QStringLiteral("z"))});
    MqttBridge second(other, brokerConfig(broker, QStringLiteral("campus-2")));
    QSignalSpy announced(&second, &MqttBridge::announced);
    QTRY_COMPARE_WITH_TIMEOUT(announced.count(), 1, 10000);
    QProcess watch;
    broker.watch(watch, QStringLiteral("lumo/#"));
    QTRY_VERIFY(seen(watch).contains(QStringLiteral("lumo/service/campus-2/status online")));
    QVERIFY(broker.publish(QStringLiteral("lumo/a/command"), "projector-on"));
    QCOMPARE(bytes(a.pty, 1), QByteArray("c"));
    // campus-1 takes room a's commands; campus-2 leaves them to it.
    QTRY_COMPARE(seen(watch).count(QStringLiteral("lumo/a/result")), 1);
    QCOMPARE(seen(watch).count(QStringLiteral("\"sent\":true")), 1);
    QCOMPARE(bytes(a.pty, 1, 1000), QByteArray());
    QCOMPARE(seen(watch).count(QStringLiteral("lumo/a/result")), 1);
    watch.kill();
    watch.waitForFinished();

    ::kill(pid_t(serve.processId()), SIGKILL);
    serve.waitForFinished(5000);
    QTRY_COMPARE(broker.retained(QStringLiteral("lumo/service/campus-1/status"), 1),
                 QStringList(QStringLiteral("lumo/service/campus-1/status offline")));
    writeConfig("a\\device=" + a.server.rfc2217Url().toUtf8() + "\n");
    serve.start(QStringLiteral(LUMO_BIN),
                {QStringLiteral("serve"), QStringLiteral("--config"), dir.filePath("serve.conf")});
    QTRY_COMPARE_WITH_TIMEOUT(broker.retained(QStringLiteral("lumo/service/campus-1/rooms"), 1),
                              QStringList(QStringLiteral("lumo/service/campus-1/rooms [\"a\"]")),
                              15000);
    QCOMPARE(broker.retained(QStringLiteral("homeassistant/+/campus-1/#"), 48, 2).size(), 24);
    QCOMPARE(broker.retained(QStringLiteral("homeassistant/+/campus-2/#"), 48, 2).size(), 48);
    QCOMPARE(broker.retained(QStringLiteral("lumo/service/campus-1/status"), 1),
             QStringList(QStringLiteral("lumo/service/campus-1/status online")));

    // Reloaded as another client, it takes what it announced as campus-1 away.
    writeConfig("a\\device=" + a.server.rfc2217Url().toUtf8() + "\n", "campus-3");
    ::kill(pid_t(serve.processId()), SIGHUP);
    QTRY_COMPARE_WITH_TIMEOUT(broker.retained(QStringLiteral("lumo/service/campus-3/rooms"), 1),
                              QStringList(QStringLiteral("lumo/service/campus-3/rooms [\"a\"]")),
                              15000);
    QCOMPARE(broker.retained(QStringLiteral("homeassistant/+/campus-1/#"), 1, 1), QStringList());
    serve.terminate();
    QVERIFY(serve.waitForFinished(10000));
    QCOMPARE(broker.retained(QStringLiteral("lumo/service/campus-3/status"), 1),
             QStringList(QStringLiteral("lumo/service/campus-3/status offline")));
}

// Every entry against Home Assistant's documented schema for MQTT discovery
// of `button` and `sensor`: only keys it knows (written out, no
// abbreviations), the required ones present, IDs of the allowed characters.
void TestMqtt::discoveryFollowsSchema()
{
    // Keys of every entity, then the component's own (its required one first).
    const QString common = "availability availability_mode availability_template "
                           "availability_topic device enabled_by_default encoding entity_category "
                           "entity_picture icon json_attributes_template json_attributes_topic "
                           "name object_id default_entity_id origin payload_available "
                           "payload_not_available platform qos unique_id";
    const QMap<QString, QStringList> own{
        {"button",
         QString("command_topic command_template device_class payload_press retain").split(' ')},
        {"sensor", QString("state_topic device_class expire_after force_update "
                           "last_reset_value_template options state_class "
                           "suggested_display_precision unit_of_measurement value_template")
                       .split(' ')}};
    const QStringList deviceKeys =
        QString("configuration_url connections hw_version identifiers manufacturer model model_id "
                "name serial_number suggested_area sw_version via_device")
            .split(' ');
    MqttConfig mqtt;
    mqtt.clientId = QStringLiteral("lumo-serve-host.campus");
    const QRegularExpression topic(
        QStringLiteral("^homeassistant/(button|sensor)/[a-zA-Z0-9_-]+/[a-zA-Z0-9_-]+/config$"));
    QSet<QString> uniqueIds;
    QString letters;
    for (const auto& [where, payload] : MqttDiscovery::Entries(
             mqtt, {QStringLiteral("r-101"), QStringLiteral("教学楼 101"), {}})) {
        const QRegularExpressionMatch m = topic.match(where);
        QVERIFY2(m.hasMatch(), qPrintable(where));
        const QString component = m.captured(1);
        const QJsonObject entry = QJsonDocument::fromJson(payload).object();
        for (const QString& key : entry.keys())
            QVERIFY2(common.split(' ').contains(key) || own[component].contains(key),
                     qPrintable(key));
        QVERIFY(entry.contains(own[component].first()));
        for (const QString& key : entry["device"].toObject().keys())
            QVERIFY2(deviceKeys.contains(key), qPrintable(key));
        QCOMPARE(entry["device"]["model"].toString(), QStringLiteral("KT4200"));
        QCOMPARE(entry["device"]["name"].toString(), QStringLiteral("教学楼 101"));
        QVERIFY(!entry["device"]["identifiers"].toArray().isEmpty());
        QCOMPARE(entry["availability_topic"].toString(),
                 QStringLiteral("lumo/service/lumo-serve-host.campus/status"));
        uniqueIds.insert(entry["unique_id"].toString());
        if (component == QLatin1String("button")) {
            QCOMPARE(entry["command_topic"].toString(), QStringLiteral("lumo/r-101/command"));
            QCOMPARE(entry["name"].toString(),
                     QString::fromUtf8(kCommands[letters.size()].label.data(),
                                       qsizetype(kCommands[letters.size()].label.size())));
            letters += entry["payload_press"].toString();
        } else {
            QCOMPARE(entry["state_topic"].toString(), QStringLiteral("lumo/r-101/state"));
            QCOMPARE(entry["options"].toArray().size(), MqttDiscovery::StateNames().size());
        }
    }
    QCOMPARE(letters, QStringLiteral("abcdefghijklmnopqrstuvw"));
    QCOMPARE(uniqueIds.size(), 24);
}

namespace
{
// Connections to `port` on loopback still waiting for the server's answer.
int synSent(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    table.open(QIODevice::ReadOnly);
    const QByteArray remote = ":" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0') + ' ';
    int count = 0;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        count += fields.size() > 3 && (fields[2] + ' ').endsWith(remote) && fields[3] == "02";
    }
    return count;
}
} // namespace

// A broker address whose queue is full answers no connection: the library's
// connect waits minutes, but the link's end (a reload, the service's end)
// holds nothing up.
void TestMqtt::silentBrokerHoldsNothingUp()
{
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    QVERIFY(::bind(silent, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            ::listen(silent, 0) == 0 &&
            ::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size) == 0);
    const quint16 port = ntohs(address.sin_port);
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    QTRY_VERIFY(synSent(port) > 0); // the queue is full
    const int before = synSent(port);
    QElapsedTimer clock;
    {
        MqttLink link({QStringLiteral("127.0.0.1"), port, false, {}, {}, {}, QStringLiteral("t"), {}});
        link.Start();
        QTRY_COMPARE(synSent(port), before + 1); // the library waits in its connect
        clock.start();
    }
    QVERIFY2(clock.elapsed() < MqttLink::kStopWaitMs + 500, qPrintable(QString::number(clock.elapsed())));
    ::close(silent);
}

QTEST_GUILESS_MAIN(TestMqtt)
#include "tst_mqtt.moc"

void TestMqtt::outcomeCodes_data()
{
    QTest::addColumn<QString>("room");
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("code");
    QTest::newRow("sent") << "ok" << "projector-on" << 200 << "sent";
    QTest::newRow("unknown-command") << "ok" << "projector-sideways" << 404 << "unknown-command";
    QTest::newRow("no-such-room") << "zz" << "c" << 404 << "no-such-room";
    QTest::newRow("in-use") << "held" << "c" << 503 << "in-use";
    QTest::newRow("unreachable") << "down" << "c" << 503 << "unreachable";
}

// Each outcome a program can switch on, with the same "code" from the JSON
// interface and on the room's MQTT result topic.
void TestMqtt::outcomeCodes()
{
    QFETCH(QString, room);
    QFETCH(QString, word);
    QFETCH(int, status);
    QFETCH(QString, code);
    Mosquitto broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    FakeRoom ok, held;
    QVERIFY(ok.server.start() && held.server.start());
    CMSComm other; // someone else holds the room's server
    other.SetDeviceName(held.server.rfc2217Url());
    other.SetPortOpen(true);
    const HeldPort page, down; // the page's port and a dead room's
    const quint16 web = page.port();
    const QByteArray dead = "rfc2217://127.0.0.1:" + down.number();
    QTemporaryDir dir;
    QFile conf(dir.filePath(QStringLiteral("serve.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[web]\nlisten=127.0.0.1:" + QByteArray::number(web) + "\n[tokens]\nt=" +
               PasswordHash::Make("token").toUtf8() + "\n[rooms]\nok\\device=" +
               ok.server.rfc2217Url().toUtf8() + "\nheld\\device=" +
               held.server.rfc2217Url().toUtf8() + "\ndown\\device=" + dead + "\n");
    conf.close();
    const ServeConfig config = ServeConfig::Load(conf.fileName());
    Campus campus(config.rooms);
    CampusServer server(campus, config);
    QVERIFY2(server.Start(config), qPrintable(server.ErrorString()));

    const HttpAnswer answer =
        HttpAsk(web, "POST", "/api/v1/rooms/" + room.toUtf8() + "/commands/" + word.toUtf8(),
                "Host: 127.0.0.1:" + QByteArray::number(web) + "\r\nAuthorization: Bearer token\r\n");
    QCOMPARE(answer.status, status);
    QCOMPARE(QJsonDocument::fromJson(answer.body).object().value("code").toString(), code);

    if (room == QLatin1String("zz"))
        return; // MQTT hears only its rooms' topics
    MqttBridge bridge(campus, brokerConfig(broker, QStringLiteral("codes")));
    QVERIFY(announcedOnce(bridge));
    QProcess watch;
    QVERIFY(watchFromRoom(broker, watch, room));
    QVERIFY(broker.publish(QStringLiteral("lumo/%1/command").arg(room), word.toUtf8()));
    const QRegularExpression result(
        QStringLiteral("lumo/%1/result \\{\"code\":\"%2\"").arg(room, code));
    QTRY_VERIFY_WITH_TIMEOUT(seen(watch).contains(result), 10000);
    QCOMPARE(ok.pty.readAvailable(100), QByteArray(status == 200 ? "cc" : ""));
}

void TestMqtt::commandForms_data()
{
    QTest::addColumn<QList<QByteArray>>("payloads"); // published in turn
    QTest::addColumn<QByteArray>("arrives");
    QTest::addColumn<QString>("lastResult");
    QTest::addColumn<QString>("who"); // as the history records the last one sent
    const QString mqtt = QStringLiteral("mqtt");
    QTest::newRow("an id sent twice (a publisher's repeat)")
        << QList<QByteArray>{"{\"command\":\"c\",\"id\":\"n-1\"}", "{\"command\":\"c\",\"id\":\"n-1\"}"}
        << QByteArray("c") << "\"error\":\"a command with this id was taken already" << mqtt;
    QTest::newRow("two ids") << QList<QByteArray>{"{\"command\":\"c\",\"id\":\"n-1\"}",
                                                  "{\"command\":\"d\",\"id\":\"n-2\"}"}
                             << QByteArray("cd") << "\"id\":\"n-2\",\"letter\":\"d\",\"sent\":true"
                             << mqtt;
    QTest::newRow("expired") << QList<QByteArray>{"{\"command\":\"c\",\"expires\":\"2020-01-01T00:00:00Z\"}"}
                             << QByteArray() << "\"error\":\"the command expired" << QString();
    QTest::newRow("a publisher that says who it is")
        << QList<QByteArray>{"{\"command\":\"c\",\"from\":\"hall\\r\\nautomation\"}"} << QByteArray("c")
        << "\"letter\":\"c\",\"sent\":true" << QStringLiteral("mqtt hallautomation");
}

// A command as JSON: its id is carried out once, and one past its expiry not at all.
void TestMqtt::commandForms()
{
    QFETCH(QList<QByteArray>, payloads);
    QFETCH(QByteArray, arrives);
    QFETCH(QString, lastResult);
    QFETCH(QString, who);
    Mosquitto broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    FakeRoom a;
    QVERIFY(a.server.start());
    Campus campus({a.config(QStringLiteral("a"))});
    QString recorded;
    campus.SetRecorder([&](const CommandEntry::Request& request, const CommandResult&,
                           std::function<void(bool)> noted) {
        recorded = request.who;
        noted(true);
    });
    MqttBridge bridge(campus, brokerConfig(broker, QStringLiteral("forms")));
    QVERIFY(announcedOnce(bridge));
    QProcess watch;
    QVERIFY(watchFromRoom(broker, watch, QStringLiteral("a")));
    for (const QByteArray& payload : payloads) {
        const qsizetype results = seen(watch).count(QStringLiteral("lumo/a/result"));
        QVERIFY(broker.publish(QStringLiteral("lumo/a/command"), payload));
        QTRY_COMPARE_WITH_TIMEOUT(seen(watch).count(QStringLiteral("lumo/a/result")), results + 1, 10000);
    }
    QVERIFY2(seen(watch).section(QStringLiteral("lumo/a/result"), -1).contains(lastResult),
             qPrintable(seen(watch)));
    QCOMPARE(bytes(a.pty, int(arrives.size()), 500), arrives);
    QCOMPARE(recorded, who);
}

// Client IDs that differ give discovery node IDs (and so unique IDs) that
// differ; a plain one stays as it is.
void TestMqtt::nodeIdsStayApart()
{
    MqttConfig config;
    const auto node = [&](const char* id) {
        config.clientId = QString::fromUtf8(id);
        return config.NodeId();
    };
    QCOMPARE(node("campus-1"), QStringLiteral("campus-1"));
    QVERIFY(node("school.a") != node("school_a"));
    QVERIFY(node("school_a") != node("school-a"));
    QVERIFY(node("north_x") != node("north"));
    // "north" with room "x_r1" against "north_x" with room "r1"
    QVERIFY(node("north") + QStringLiteral("_x_r1") != node("north_x") + QStringLiteral("_r1"));
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9_-]+$"));
    QVERIFY(allowed.match(node("教学楼.a/b")).hasMatch());
}

// Two services that both list room a: the one with the smaller client ID
// takes its commands, the other leaves them, until the first goes.
void TestMqtt::oneServicePerRoom()
{
    Mosquitto broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    FakeRoom first, second;
    QVERIFY(first.server.start() && second.server.start());
    Campus campusA({first.config(QStringLiteral("a"))});
    Campus campusB({second.config(QStringLiteral("a"))});
    auto owner = std::make_unique<MqttBridge>(campusA, brokerConfig(broker, QStringLiteral("north-a")));
    QVERIFY(announcedOnce(*owner));
    MqttBridge other(campusB, brokerConfig(broker, QStringLiteral("north-b")));
    QVERIFY(announcedOnce(other));
    QProcess watch;
    QVERIFY(watchFromRoom(broker, watch, QStringLiteral("a")));

    QVERIFY(broker.publish(QStringLiteral("lumo/a/command"), "c"));
    QCOMPARE(bytes(first.pty, 1), QByteArray("c"));
    QTRY_COMPARE(seen(watch).count(QStringLiteral("lumo/a/result")), 1);
    QCOMPARE(bytes(second.pty, 1, 300), QByteArray());

    owner.reset(); // goes offline: the other takes the room's commands
    QTRY_VERIFY(seen(watch).contains(QStringLiteral("lumo/service/north-a/status offline")));
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            broker.publish(QStringLiteral("lumo/a/command"), "d");
            return bytes(second.pty, 1, 300) == "d";
        }(),
        10000);
    QCOMPARE(first.pty.readAvailable(100), QByteArray());
}

// A broker address where something else listens (a web server, a TLS port)
// is told in so many words, not left silent.
void TestMqtt::notABrokerIsNamed()
{
    QTcpServer web;
    QVERIFY(web.listen(QHostAddress::LocalHost));
    connect(&web, &QTcpServer::newConnection, &web, [&web] {
        QTcpSocket* socket = web.nextPendingConnection();
        socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
        socket->disconnectFromHost();
    });
    MqttLink link({QStringLiteral("127.0.0.1"), web.serverPort(), false, {}, {}, {},
                   QStringLiteral("t"), {}});
    QSignalSpy disconnected(&link, &MqttLink::disconnected);
    link.Start();
    QTRY_VERIFY_WITH_TIMEOUT(!disconnected.isEmpty(), 10000);
    QVERIFY2(disconnected.first().first().toString().contains(QStringLiteral("answered no MQTT")),
             qPrintable(disconnected.first().first().toString()));
}

// On a broker with the access rules of the README, another account's
// retained claim on the room (a service "0" online, listing it) and its
// commands are dropped by the broker; a named publisher's command is
// carried out exactly once.
void TestMqtt::accessRulesKeepOthersOff()
{
    Mosquitto broker(QStringLiteral("lumo-serve-a"), QStringLiteral("secret a"));
    broker.addAccount(QStringLiteral("homeassistant"), QStringLiteral("secret h"));
    broker.addAccount(QStringLiteral("intruder"), QStringLiteral("secret i"));
    broker.useAcl("user lumo-serve-a\n"
                  "topic readwrite lumo/service/lumo-serve-a/#\n"
                  "topic read lumo/service/+/status\n"
                  "topic read lumo/service/+/rooms\n"
                  "topic readwrite lumo/a/command\n"
                  "topic write lumo/a/result\n"
                  "topic write lumo/a/state\n"
                  "topic write homeassistant/#\n"
                  "user homeassistant\n"
                  "topic write lumo/+/command\n"
                  "topic read lumo/#\n");
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    FakeRoom a;
    QVERIFY(a.server.start());
    Campus campus({a.config(QStringLiteral("a"))});
    MqttConfig mqtt = brokerConfig(broker, QStringLiteral("lumo-serve-a"));
    mqtt.Set(QStringLiteral("username"), QStringLiteral("lumo-serve-a"));
    mqtt.Set(QStringLiteral("password_file"), broker.passwordFile(QStringLiteral("secret a")));
    for (const auto& [topic, payload] :
         {std::pair{"lumo/service/0/status", QByteArray("online")},
          std::pair{"lumo/service/0/rooms", QByteArray("[\"a\"]")}})
        QVERIFY(broker.publishAs(QStringLiteral("intruder"), QString::fromLatin1(topic), payload, true));
    MqttBridge bridge(campus, mqtt);
    QVERIFY(announcedOnce(bridge));
    QCOMPARE(broker.retained(QStringLiteral("lumo/service/0/#"), 1, 1), QStringList());

    QVERIFY(broker.publishAs(QStringLiteral("intruder"), QStringLiteral("lumo/a/command"), "e"));
    QVERIFY(broker.publishAs(QStringLiteral("homeassistant"), QStringLiteral("lumo/a/command"), "c"));
    QCOMPARE(bytes(a.pty, 1), QByteArray("c"));
    QCOMPARE(bytes(a.pty, 1, 1000), QByteArray()); // once, and nothing of the intruder's
}
