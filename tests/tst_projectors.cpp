// The rooms' projectors in the campus service, with real peers: lumo-vc as
// the rooms' controllers, lumo-projector as their projectors (one joined to
// the controller, one that switches on no command), mosquitto, and a
// sendmail that keeps what it is given.
#include "Mosquitto.h"
#include "HttpClient.h"
#include "serve/Service.h"
#include "serve/history/HistorySummary.h"
#include "serve/config/PasswordHash.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestProjectors : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void commandChecked_data();
    void commandChecked();
    void hoursMeasured();
    void errorAlertedOnce();
    void announcedOnMqtt();
    void roomPanel_data();
    void roomPanel();
    void projectorTakenOut(); // last: it changes the configuration

private:
    // lumo-projector with `args`; its URL.
    QString simulator(const QStringList& args);
    QJsonObject get(const QByteArray& target);
    QJsonObject projector(const QString& room) { return get("/api/v1/rooms/" + room.toUtf8() + "/status")["projector"].toObject(); }
    QByteArray mail() const;
    // A page as a logged-in user sees it.
    QByteArray page(const QByteArray& target);

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QProcess* m_joined = nullptr; // r101's projector
    std::unique_ptr<Mosquitto> m_broker;
    QProcess m_alerts; // mosquitto_sub on every room's alert topic
    QByteArray m_alertLines;
    std::unique_ptr<Service> m_service;
    QString m_path; // serve.conf
};

QString TestProjectors::simulator(const QStringList& args)
{
    auto& process = m_processes.emplace_back(std::make_unique<QProcess>());
    process->start(QStringLiteral(LUMO_PROJECTOR), args);
    if (!process->waitForStarted() || !process->waitForReadyRead(10000))
        return {};
    const QString line = QString::fromUtf8(process->readLine()).trimmed();
    return line.startsWith(QLatin1String("LUMO_PJLINK=")) ? line.section(u'=', 1) : QString();
}

QJsonObject TestProjectors::get(const QByteArray& target)
{
    const QByteArray port = QByteArray::number(m_service->WebPort());
    const HttpAnswer answer = HttpAsk(m_service->WebPort(), "GET", target,
                                      "Host: 127.0.0.1:" + port + "\r\nAuthorization: Bearer t0ken\r\n");
    return QJsonDocument::fromJson(answer.body).object();
}

QByteArray TestProjectors::page(const QByteArray& target)
{
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(m_service->WebPort()) + "\r\n";
    const HttpAnswer login = HttpAsk(m_service->WebPort(), "POST", "/login",
                                     host + "Content-Type: application/x-www-form-urlencoded\r\n",
                                     "user=ann&password=pw");
    const qsizetype at = login.head.indexOf("lumo_session=");
    const QByteArray cookie = at < 0 ? QByteArray() : login.head.mid(at).split(';').first();
    return HttpAsk(m_service->WebPort(), "GET", target, host + "Cookie: " + cookie + "\r\n")
        .body;
}

QByteArray TestProjectors::mail() const
{
    QFile file(m_dir.filePath(QStringLiteral("mail")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestProjectors::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("STATE_DIRECTORY", m_dir.filePath(QStringLiteral("state")).toUtf8());
    // The controller, whose log the joined projector follows.
    const QString log = m_dir.filePath(QStringLiteral("vc.log"));
    auto& vc = m_processes.emplace_back(std::make_unique<QProcess>());
    vc->setStandardOutputFile(log);
    vc->start(QStringLiteral(LUMO_VC), {QStringLiteral("--dir"), m_dir.filePath(QStringLiteral("vc"))});
    QString assignments;
    QTRY_VERIFY(([&] {
        QFile out(log);
        out.open(QIODevice::ReadOnly);
        assignments = QString::fromUtf8(out.readLine()).trimmed();
        return assignments.endsWith(QLatin1String("COM2"));
    }()));
    const auto port = [&](const char* name) {
        return assignments.section(QLatin1String(name) + u'=', 1).section(u' ', 0, 0).toUtf8();
    };
    const QStringList quick{QStringLiteral("--warm-up"), QStringLiteral("5"),
                            QStringLiteral("--cool-down"), QStringLiteral("5")};
    const QString joined = simulator(quick + QStringList{QStringLiteral("--follow"), log,
                                                         QStringLiteral("--follow-port"),
                                                         QStringLiteral("COM1")});
    m_joined = m_processes.back().get();
    // r102's projector asks for a password, which the service has from its file.
    const auto secret = [this](const char* name, const QByteArray& text) {
        QFile file(m_dir.filePath(QLatin1String(name)));
        file.open(QIODevice::WriteOnly);
        file.write(text);
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        return file.fileName();
    };
    const QString alone = simulator(quick + QStringList{QStringLiteral("--password-file"),
                                                        secret("projector-password", "Secr3t\n")});
    QVERIFY(!joined.isEmpty() && !alone.isEmpty());

    m_broker = std::make_unique<Mosquitto>();
    QVERIFY2(m_broker->start(), qPrintable(m_broker->error()));
    m_broker->watch(m_alerts, QStringLiteral("lumo/+/alert"));
    connect(&m_alerts, &QProcess::readyReadStandardOutput, this,
            [this] { m_alertLines += m_alerts.readAllStandardOutput(); });

    // A sendmail that keeps each message, with its arguments first.
    const QString sendmail = m_dir.filePath(QStringLiteral("sendmail"));
    QFile script(sendmail);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n{ echo \"ARGS $*\"; cat; echo END; } >>'" +
                 m_dir.filePath(QStringLiteral("mail")).toUtf8() + "'\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QString path = m_path = m_dir.filePath(QStringLiteral("serve.conf"));
    QFile conf(path);
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[web]\nlisten=127.0.0.1:8420\n[service]\nprobe=0\n[tokens]\nt=" +
               PasswordHash::Make("t0ken").toUtf8() + "\n[users]\nann=" + PasswordHash::Make("pw").toUtf8() + "\n[rooms]\nr101\\device=" + port("LUMO_COM1") +
               "\nr101\\projector=" + joined.toUtf8() + "\nr102\\device=" + port("LUMO_COM2") +
               "\nr102\\projector=" + alone.toUtf8() +
               "\n[projectors]\npassword_file=" +
               secret("projectors", "r101=other\nr102=Secr3t\n").toUtf8() + "\npoll=5\nfollow=10\n[alerts]\nmail_to=av@school.example\nsendmail=" +
               sendmail.toUtf8() + "\n[mqtt]\nbroker=mqtt://127.0.0.1:" +
               QByteArray::number(m_broker->port()) + "\n[history]\ndatabase=" +
               m_dir.filePath(QStringLiteral("history.sqlite")).toUtf8() + "\n");
    conf.close();
    ServeConfig config = ServeConfig::Load(path);
    config.listenPort = 0;
    m_service = std::make_unique<Service>(config);
    QString error;
    QVERIFY2(m_service->Start(&error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(projector(QStringLiteral("r101"))["power"] == QLatin1String("off") &&
                                 projector(QStringLiteral("r102"))["power"] == QLatin1String("off"),
                             15000);
}

void TestProjectors::cleanupTestCase()
{
    m_service.reset();
    for (auto& process : m_processes) {
        process->kill();
        process->waitForFinished();
    }
    m_alerts.kill();
    m_alerts.waitForFinished();
}

void TestProjectors::commandChecked_data()
{
    QTest::addColumn<QString>("room");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("powers"); // seen in this order in the JSON
    QTest::addColumn<QString>("code");
    QTest::newRow("on, joined") << "r101" << "projector-on" << QStringList{"warming up", "on"} << "sent";
    QTest::newRow("off, joined") << "r101" << "projector-off" << QStringList{"cooling", "off"} << "sent";
    QTest::newRow("on, not joined") << "r102" << "projector-on" << QStringList{"off"} << "not-followed";
}

// After projector-on/-off the JSON shows the projector follow, and says
// whether it did within follow=; one that did not is recorded and alerted.
void TestProjectors::commandChecked()
{
    QFETCH(QString, room);
    QFETCH(QString, command);
    QFETCH(QStringList, powers);
    QFETCH(QString, code);
    const QByteArray port = QByteArray::number(m_service->WebPort());
    const HttpAnswer sent = HttpAsk(m_service->WebPort(), "POST",
                                    "/api/v1/rooms/" + room.toUtf8() + "/commands/" + command.toUtf8(),
                                    "Host: 127.0.0.1:" + port + "\r\nAuthorization: Bearer t0ken\r\n");
    QCOMPARE(QJsonDocument::fromJson(sent.body)["code"].toString(), QStringLiteral("sent"));
    const QString sentAt = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    QStringList seen;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
        const QJsonObject state = projector(room);
        if (seen.isEmpty() || seen.last() != state["power"].toString())
            seen.append(state["power"].toString());
        const QJsonObject check = state["check"].toObject();
        return check["command"] == command && check["at"].toString() >= sentAt.left(19);
    }()), 15000);
    const QJsonObject check = projector(room)["check"].toObject();
    QCOMPARE(check["code"].toString(), code);
    qsizetype at = 0;
    for (const QString& power : powers)
        QVERIFY2((at = seen.indexOf(power, at)) >= 0, qPrintable(seen.join(u',')));
    if (code != QLatin1String("not-followed"))
        return;
    QTRY_VERIFY(m_alertLines.contains("lumo/" + room.toUtf8() + "/alert {\"event_type\":\"not-followed\""));
    QJsonArray entries;
    QTRY_VERIFY(([&] {
        entries = get("/api/v1/history?room=" + room.toUtf8())["entries"].toArray();
        return !entries.isEmpty() && entries[0].toObject()["code"] == code;
    }()));
    QCOMPARE(entries[0].toObject()["face"].toString(), QStringLiteral("projector"));
    QCOMPARE(entries[0].toObject()["command"].toString(), command);
}

// After the projector was switched on and off (commandChecked), the
// history holds what it reported, and its hours are measured from that.
void TestProjectors::hoursMeasured()
{
    QList<History::Entry> entries;
    QTRY_VERIFY(([&] {
        entries.clear();
        for (const QJsonValue& v : get("/api/v1/history?room=r101&face=projector")["entries"].toArray()) {
            const QJsonObject o = v.toObject();
            if (o["code"] != QLatin1String("observed"))
                continue;
            entries.append({o["id"].toInteger(), QDateTime::fromString(o["at"].toString(), Qt::ISODate),
                            o["room"].toString(), o["command"].toString(), o["who"].toString(),
                            o["face"].toString(), o["code"].toString(), o["message"].toString(), {}});
        }
        return entries.size() >= 3; // off when first seen, on, off
    }()));
    const QList<HistorySummary::Room> rooms = HistorySummary::Of(entries, QDateTime::currentDateTimeUtc());
    QCOMPARE(rooms.size(), 1);
    QVERIFY(rooms[0].measured);
    QVERIFY2(rooms[0].projectorHours > 0, qPrintable(QString::number(rooms[0].projectorHours)));
    QVERIFY(entries.first().command == QLatin1String("power-off") && entries[1].command == QLatin1String("power-on"));
    QVERIFY(page("/history?room=r101&hl=en").contains("<span class=\"how\" data-how=\"measured\">measured</span>"));
}

// An error the projector reports is an alert on MQTT and by mail, once,
// however many polls see it.
void TestProjectors::errorAlertedOnce()
{
    m_joined->write("errors 002000\n");
    const QByteArray topic = "lumo/r101/alert {\"event_type\":\"error\"";
    QTRY_VERIFY_WITH_TIMEOUT(m_alertLines.contains(topic), 15000);
    QTRY_VERIFY(mail().contains("temperature"));
    QVERIFY(mail().contains("ARGS -oi -- av@school.example"));
    QVERIFY(mail().contains("To: av@school.example"));
    QCOMPARE(projector(QStringLiteral("r101"))["alerts"].toArray().first().toObject()["kind"].toString(), QStringLiteral("error"));
    // Two more polls see the error: nothing new.
    const QString answered = projector(QStringLiteral("r101"))["answered"].toString();
    QTRY_VERIFY_WITH_TIMEOUT(projector(QStringLiteral("r101"))["answered"].toString() > answered, 15000);
    const QString again = projector(QStringLiteral("r101"))["answered"].toString();
    QTRY_VERIFY_WITH_TIMEOUT(projector(QStringLiteral("r101"))["answered"].toString() > again, 15000);
    QCOMPARE(m_alertLines.count(topic), 1);
    QCOMPARE(mail().count("reports an error"), 1);
    QJsonArray entries = get("/api/v1/history?room=r101")["entries"].toArray();
    QCOMPARE(entries[0].toObject()["code"].toString(), QStringLiteral("error"));
}

// A room with a projector has its state retained and four more entities
// for Home Assistant; a room without one has neither.
void TestProjectors::announcedOnMqtt()
{
    const QStringList state = m_broker->retained(QStringLiteral("lumo/r101/projector"), 1);
    QCOMPARE(state.size(), 1);
    QVERIFY2(state[0].contains(QLatin1String("\"power\":\"on\"")) ||
                 state[0].contains(QLatin1String("\"power\":\"off\"")),
             qPrintable(state[0]));
    const QStringList entities = m_broker->retained(QStringLiteral("homeassistant/+/+/+/config"), 24 * 2 + 8);
    const QStringList projector = entities.filter(QStringLiteral("_projector_"));
    QCOMPARE(projector.size(), 8);
    QVERIFY(!projector.filter(QStringLiteral("binary_sensor/")).filter(QStringLiteral("r101_projector_power")).isEmpty());
    QVERIFY(!projector.filter(QStringLiteral("event/")).filter(QStringLiteral("lumo/r102/alert")).isEmpty());
}

void TestProjectors::roomPanel_data()
{
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QByteArrayList>("has");
    QTest::newRow("Chinese") << QByteArray("zh")
                             << QByteArrayList{"<h2 id=\"projector-name\">投影机</h2>", "\"projector\":{",
                                               "\"on\":\"开\"", "\"lamp\":\"灯泡 %1 小时\""};
    QTest::newRow("English") << QByteArray("en")
                             << QByteArrayList{"<h2 id=\"projector-name\">Projector</h2>",
                                               "\"warming up\":\"warming up\"", "\"lamp\":\"lamp %1 h\""};
}

// A room's panel has a line for its projector, labelled, with the words
// phone.js fills it with from the room's status.
void TestProjectors::roomPanel()
{
    QFETCH(QByteArray, language);
    QFETCH(QByteArrayList, has);
    const QByteArray panel = page("/rooms/r101/?hl=" + language);
    for (const QByteArray& part : has)
        QVERIFY2(panel.contains(part), part.constData());
}

// A reload that takes r102's projector out: the room stays, its projector
// leaves the JSON and MQTT (state and Home Assistant entities).
void TestProjectors::projectorTakenOut()
{
    QFile conf(m_path);
    QVERIFY(conf.open(QIODevice::ReadOnly));
    QByteArray text = conf.readAll();
    conf.close();
    const qsizetype at = text.indexOf("r102\\projector=");
    QVERIFY(at > 0);
    text.remove(at, text.indexOf('\n', at) + 1 - at);
    QVERIFY(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write(text);
    conf.close();
    m_service->Reload();
    QVERIFY(get("/api/v1/rooms/r102/status")["projector"].isNull());
    QCOMPARE(get("/api/v1/rooms/r102/status")["id"].toString(), QStringLiteral("r102"));
    QVERIFY(projector(QStringLiteral("r101"))["reachable"].toBool());
    QTRY_VERIFY(m_broker->retained(QStringLiteral("homeassistant/+/+/+/config"), 24 * 2 + 4)
                    .filter(QStringLiteral("_projector_")).size() == 4);
    QVERIFY(m_broker->retained(QStringLiteral("lumo/r102/projector"), 1, 1).isEmpty());
    const QByteArray panel = page("/rooms/r102/?hl=en");
    QVERIFY(panel.contains("<main") && !panel.contains("id=\"projector\""));
}

QTEST_GUILESS_MAIN(TestProjectors)
#include "tst_projectors.moc"
