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

#include <csignal>

class TestProjectors : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void commandChecked_data();
    void commandChecked();
    void hoursMeasured();
    void announcedOnMqtt();
    void roomPanel_data();
    void roomPanel();
    void alertedOnce_data();
    void alertedOnce(); // its last row reloads the configuration
    void projectorTakenOut(); // it changes the configuration
    void noticeBeforePoll(); // last: it ends the service

private:
    // lumo-projector with `args`; its URL.
    QString simulator(const QStringList& args);
    // `port`: the web port of another service than m_service.
    QJsonObject get(const QByteArray& target, quint16 port = 0);
    QJsonObject projector(const QString& room) { return get("/api/v1/rooms/" + room.toUtf8() + "/status")["projector"].toObject(); }
    QByteArray mail() const;
    // A page as a logged-in user sees it.
    QByteArray page(const QByteArray& target);

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QProcess* m_joined = nullptr; // r101's projector
    QProcess* m_alone = nullptr;  // r102's
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

QJsonObject TestProjectors::get(const QByteArray& target, quint16 port)
{
    port = port ? port : m_service->WebPort();
    const HttpAnswer answer = HttpAsk(port, "GET", target,
                                      "Host: 127.0.0.1:" + QByteArray::number(port) +
                                          "\r\nAuthorization: Bearer t0ken\r\n");
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
    // r102's projector asks for a password, which the service has from its
    // file, and has a lamp over lamp_alert=.
    const auto secret = [this](const char* name, const QByteArray& text) {
        QFile file(m_dir.filePath(QLatin1String(name)));
        file.open(QIODevice::WriteOnly);
        file.write(text);
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        return file.fileName();
    };
    const QString alone = simulator(quick + QStringList{QStringLiteral("--password-file"),
                                                        secret("projector-password", "Secr3t\n"),
                                                        QStringLiteral("--lamp-hours"), QStringLiteral("2500")});
    m_alone = m_processes.back().get();
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
               secret("projectors", "r101=other\nr102=Secr3t\n").toUtf8() + "\npoll=5\nfollow=10\nlamp_alert=2000\n[alerts]\nmail_to=av@school.example\nsendmail=" +
               sendmail.toUtf8() + "\n[mqtt]\nbroker=mqtt://127.0.0.1:" +
               QByteArray::number(m_broker->port()) + "\n[history]\ndatabase=" +
               m_dir.filePath(QStringLiteral("history.sqlite")).toUtf8() + "\n");
    conf.close();
    ServeConfig config = ServeConfig::Load(path);
    config.listenPort = 0;
    config.projectors.unreachableAlertSeconds = 10; // the file's least is a minute
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
    const QByteArray history = page("/history?room=r101&hl=en");
    QVERIFY(history.contains("<span class=\"how\" data-how=\"measured\">measured</span>"));
    // What the projector reported is no failure: not marked as one, nor
    // among "not sent only".
    QVERIFY(history.contains("data-kind=\"note\"") && !history.contains("\"error\"><span aria-hidden=\"true\">✗</span> reported"));
    QVERIFY(!page("/history?room=r101&outcome=failed&hl=en").contains("data-kind=\"note\""));
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
                                               "\"on\":\"开\"", "\"lamp\":\"灯泡 %1 小时\"",
                                               "\"part-temperature\":\"温度\"", "\"fault-error\":\"%1：故障\""};
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

void TestProjectors::alertedOnce_data()
{
    QTest::addColumn<QString>("room");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("told"); // in the mail
    QTest::newRow("error") << "r101" << "error" << QByteArray("reports an error: temperature");
    QTest::newRow("lamp hours, from the start") << "r102" << "lamp" << QByteArray("2500 hours");
    QTest::newRow("unreachable, stopped") << "r102" << "unreachable" << QByteArray("has not answered");
    QTest::newRow("on after a schedule's off") << "r102" << "still-on" << QByteArray("is on, not off");
}

// What the projector reports or does that deserves attention is an alert
// on MQTT, by mail, in the history and in the room's JSON, once, however
// many polls see it.
void TestProjectors::alertedOnce()
{
    QFETCH(QString, room);
    QFETCH(QString, kind);
    QFETCH(QByteArray, told);
    QProcess* projector = room == QLatin1String("r101") ? m_joined : m_alone;
    if (kind == QLatin1String("error")) {
        projector->write("errors 002000\n");
    } else if (kind == QLatin1String("unreachable")) {
        QCOMPARE(::kill(pid_t(projector->processId()), SIGSTOP), 0);
    } else if (kind == QLatin1String("still-on")) {
        // Switched on by hand; a schedule switches it off in a few seconds
        // through the room's controller, which it does not follow.
        projector->write("power on\n");
        QTRY_VERIFY_WITH_TIMEOUT(this->projector(room)["power"] == QLatin1String("on"), 30000);
        QFile conf(m_path);
        QVERIFY(conf.open(QIODevice::Append));
        conf.write("[schedule]\noff\\at=" + QTime::currentTime().addSecs(4).toString(u"HH:mm:ss").toUtf8() +
                   "\noff\\rooms=" + room.toUtf8() + "\noff\\commands=projector-off\n");
        conf.close();
        m_service->Reload();
    }
    const QByteArray topic = "lumo/" + room.toUtf8() + "/alert {\"event_type\":\"" + kind.toUtf8() + '"';
    const QByteArray subject = "Subject: =?UTF-8?B?" + QStringLiteral("[lumo] %1: projector %2").arg(room, kind).toUtf8().toBase64();
    QTRY_VERIFY_WITH_TIMEOUT(m_alertLines.contains(topic), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(mail().contains(subject), 15000);
    QVERIFY(mail().contains(told));
    QVERIFY(mail().contains("ARGS -oi -- av@school.example\nTo: av@school.example\n"));
    const auto recorded = [&] {
        qsizetype n = 0;
        for (const QJsonValue& entry : get("/api/v1/history?room=" + room.toUtf8())["entries"].toArray())
            n += entry["command"] == QLatin1String("alert") && entry["code"] == kind;
        return n;
    };
    QTRY_COMPARE_WITH_TIMEOUT(recorded(), 1, 15000);
    const QJsonObject state = this->projector(room);
    if (kind == QLatin1String("error")) // part by part, for the pages' words
        QCOMPARE(state["faults"].toObject(), QJsonObject({{"temperature", "error"}}));
    if (kind == QLatin1String("still-on")) // an event: the check says it
        QCOMPARE(state["check"].toObject()["code"].toString() + ' ' + state["check"].toObject()["command"].toString(),
                 QStringLiteral("not-followed projector-off"));
    else
        QVERIFY2(QJsonDocument(state["alerts"].toArray()).toJson().contains("\"kind\": \"" + kind.toUtf8() + '"'),
                 QJsonDocument(state).toJson().constData());
    // Two more polls (r101's: every room is polled as often): nothing new.
    for (int poll = 0; poll < 2; ++poll) {
        const QString answered = this->projector(QStringLiteral("r101"))["answered"].toString();
        QTRY_VERIFY_WITH_TIMEOUT(this->projector(QStringLiteral("r101"))["answered"].toString() > answered, 15000);
    }
    if (kind == QLatin1String("unreachable")) { // back: its lamp is the same
        QCOMPARE(::kill(pid_t(projector->processId()), SIGCONT), 0);
        QTRY_VERIFY_WITH_TIMEOUT(this->projector(room)["reachable"].toBool(), 30000);
        const QString answered = this->projector(QStringLiteral("r101"))["answered"].toString();
        QTRY_VERIFY_WITH_TIMEOUT(this->projector(QStringLiteral("r101"))["answered"].toString() > answered, 15000);
    }
    QCOMPARE(m_alertLines.count(topic), 1);
    QCOMPARE(mail().count(subject), 1);
    QCOMPARE(recorded(), 1);
    // r102's lamp alert, standing since the start, went out once.
    QCOMPARE(m_alertLines.count("lumo/r102/alert {\"event_type\":\"lamp\""), 1);
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

// A class 2 projector's status notice changes its room's state at once,
// long before its next poll (poll=1h).
void TestProjectors::noticeBeforePoll()
{
    m_service.reset();
    const QString url = simulator({QStringLiteral("--warm-up"), QStringLiteral("3")});
    QVERIFY(!url.isEmpty());
    QProcess* projector = m_processes.back().get();
    const QString path = m_dir.filePath(QStringLiteral("notices.conf"));
    QFile conf(path);
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[web]\nlisten=127.0.0.1:8420\n[service]\nprobe=0\n[tokens]\nt=" + PasswordHash::Make("t0ken").toUtf8() +
               "\n[rooms]\nr201\\device=" + m_dir.filePath(QStringLiteral("no-tty")).toUtf8() +
               "\nr201\\projector=" + url.toUtf8() + "\n[projectors]\npoll=1h\n[history]\ndatabase=off\n");
    conf.close();
    ServeConfig config = ServeConfig::Load(path);
    config.listenPort = 0;
    config.projectors.noticePort = ProjectorConfig::kAnyNoticePort;
    Service service(config);
    QString error;
    QVERIFY2(service.Start(&error), qPrintable(error));
    QVERIFY(service.NoticePort() > 0);
    const auto power = [&] { return get("/api/v1/rooms/r201/status", service.WebPort())["projector"].toObject()["power"].toString(); };
    QTRY_COMPARE_WITH_TIMEOUT(power(), QStringLiteral("off"), 15000); // its first poll
    projector->write("notify 127.0.0.1:" + QByteArray::number(service.NoticePort()) + "\npower on\n");
    QTRY_COMPARE_WITH_TIMEOUT(power(), QStringLiteral("warming up"), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(power(), QStringLiteral("on"), 15000);
}

QTEST_GUILESS_MAIN(TestProjectors)
#include "tst_projectors.moc"
