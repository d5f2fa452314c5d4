// Projectors over the network: the projector part against lumo-projector
// (class 1 and 2, passwords, warm-up and cool-down, health, notices, the
// virtual controller switching it) and against a fake projector that
// misbehaves in the ways a real one cannot be made to.
#include "control/ProjectorLink.h"
#include "control/ProjectorNotices.h"
#include "control/ProjectorPart.h"
#include "pjlink/PjlinkClient.h"
#include "pjlink/PjlinkProjector.h"
#include "control/ProjectorInterface.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <csignal>
#include <memory>

class TestPjlink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void parsesUrls_data();
    void parsesUrls();
    void pollsSimulator_data();
    void pollsSimulator();
    void warmsUpAndCools_data();
    void warmsUpAndCools();
    void commands_data();
    void commands();
    void reportsHealthAsItChanges();
    void notices_data();
    void notices();
    void faults_data();
    void faults();
    void simulatorClosesIdleConnections();
    void followsVirtualController_data();
    void followsVirtualController();

private:
    // lumo-projector with `args`, its URL read from its first line.
    QString startSimulator(const QStringList& args);
    // A link to `url` made by the part.
    ProjectorLink* link(const QString& url, const QByteArray& password = {});
    // One poll of `projector`, waited for.
    const ProjectorState& poll(ProjectorLink* projector);
    // The outcome of a command run by `send`, waited for.
    QString command(ProjectorLink* projector, const std::function<void()>& send);
    QString passwordFile(const QByteArray& password);

    const ProjectorInterface* m_part = nullptr;
    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    std::vector<std::unique_ptr<QObject>> m_links;
};

void TestPjlink::initTestCase()
{
    QString error;
    m_part = ProjectorPart::Load(&error);
    QVERIFY2(m_part, qPrintable(error));
    QVERIFY(m_dir.isValid());
}

void TestPjlink::cleanup()
{
    m_links.clear();
    for (auto& process : m_processes) {
        process->terminate();
        if (!process->waitForFinished(3000))
            process->kill();
        process->waitForFinished(3000);
    }
    m_processes.clear();
}

QString TestPjlink::startSimulator(const QStringList& args)
{
    auto& process = m_processes.emplace_back(std::make_unique<QProcess>());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(LUMO_PROJECTOR), args);
    QDeadlineTimer deadline(10000);
    while (!process->canReadLine() && process->state() != QProcess::NotRunning &&
           !deadline.hasExpired())
        process->waitForReadyRead(100);
    const QString line = QString::fromUtf8(process->readLine()).trimmed();
    if (!line.startsWith(QLatin1String("LUMO_PJLINK=")))
        return {};
    return line.section(u'=', 1);
}

ProjectorLink* TestPjlink::link(const QString& url, const QByteArray& password)
{
    QString error;
    ProjectorLink* projector = m_part->Make(url, password, nullptr, &error);
    if (projector)
        m_links.emplace_back(projector);
    else
        qWarning() << error;
    return projector;
}

const ProjectorState& TestPjlink::poll(ProjectorLink* projector)
{
    QSignalSpy polled(projector, &ProjectorLink::polled);
    projector->Poll();
    if (!polled.wait(30000))
        qWarning() << "no poll within 30 s";
    return projector->State();
}

QString TestPjlink::command(ProjectorLink* projector, const std::function<void()>& send)
{
    QSignalSpy done(projector, &ProjectorLink::done);
    send();
    if (done.isEmpty() && !done.wait(30000))
        return QStringLiteral("(no outcome)");
    return done.first().at(1).toString();
}

QString TestPjlink::passwordFile(const QByteArray& password)
{
    QFile file(m_dir.filePath(QStringLiteral("password")));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(password + '\n');
    return file.fileName();
}

void TestPjlink::parsesUrls_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("address"); // empty: refused
    QTest::addColumn<QString>("reason");
    QTest::newRow("default port") << "pjlink://192.0.2.7" << "192.0.2.7:4352" << "";
    QTest::newRow("port, slash") << "PJLINK://beamer.lan:4353/" << "beamer.lan:4353" << "";
    QTest::newRow("ipv6") << "pjlink://[::1]:4352" << "[::1]:4352" << "";
    QTest::newRow("bare ipv6") << "pjlink://::1" << "" << "brackets";
    QTest::newRow("other scheme") << "socket://192.0.2.7:4352" << "" << "not a projector address";
    QTest::newRow("no host") << "pjlink://:4352" << "" << "no host";
    QTest::newRow("port 0") << "pjlink://host:0" << "" << "1 to 65535";
    QTest::newRow("port too big") << "pjlink://host:654321" << "" << "1 to 65535";
    QTest::newRow("path") << "pjlink://host/x" << "" << "unexpected";
    QTest::newRow("too long") << "pjlink://" + QString(400, u'a') << "" << "longer than 300";
}

void TestPjlink::parsesUrls()
{
    QFETCH(QString, url);
    QFETCH(QString, address);
    QFETCH(QString, reason);
    QString error;
    ProjectorLink* projector = m_part->Make(url, {}, this, &error);
    QCOMPARE(projector ? projector->Address() : QString(), address);
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(error.size() < 400);
    delete projector;
}

void TestPjlink::pollsSimulator_data()
{
    QTest::addColumn<int>("protocolClass");
    QTest::addColumn<QByteArray>("simulatorPassword");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QString>("error"); // empty: it answers
    QTest::addColumn<QString>("listen");
    QTest::newRow("class 1") << 1 << QByteArray() << QByteArray() << "" << "::1";
    QTest::newRow("class 2") << 2 << QByteArray() << QByteArray() << "" << "";
    QTest::newRow("class 1, password") << 1 << QByteArray("sesame") << QByteArray("sesame") << "" << "";
    QTest::newRow("class 2, password") << 2 << QByteArray("sesame") << QByteArray("sesame") << "" << "";
    QTest::newRow("wrong password") << 2 << QByteArray("sesame") << QByteArray("open")
                                    << "refused the password (ERRA)" << "";
    QTest::newRow("none given") << 1 << QByteArray("sesame") << QByteArray()
                                << "asks for a password and none is set" << "";
    QTest::newRow("one too many") << 1 << QByteArray() << QByteArray("sesame") << "" << "";
}

void TestPjlink::pollsSimulator()
{
    QFETCH(int, protocolClass);
    QFETCH(QByteArray, simulatorPassword);
    QFETCH(QByteArray, password);
    QFETCH(QString, error);
    QFETCH(QString, listen);
    QStringList args = {QStringLiteral("--class"), QString::number(protocolClass),
                        QStringLiteral("--listen"), listen.isEmpty() ? QStringLiteral("127.0.0.1") : listen,
                        QStringLiteral("--errors"), QStringLiteral("012000"),
                        QStringLiteral("--name"), QStringLiteral("Room 101")};
    if (!simulatorPassword.isEmpty())
        args << QStringLiteral("--password-file") << passwordFile(simulatorPassword);
    const QString url = startSimulator(args);
    QVERIFY(!url.isEmpty());
    ProjectorLink* projector = link(url, password);
    QVERIFY(projector);

    QElapsedTimer took;
    took.start();
    const ProjectorState& state = poll(projector);
    const qint64 ms = took.elapsed();
    QCOMPARE(state.lastError.isEmpty(), error.isEmpty());
    QCOMPARE(state.reachable, error.isEmpty());
    if (!error.isEmpty()) {
        QVERIFY2(state.lastError.contains(error), qPrintable(state.lastError));
        QVERIFY2(state.lastError.contains(projector->Address()), qPrintable(state.lastError));
        return;
    }
    QCOMPARE(state.protocolClass, protocolClass);
    QCOMPARE(state.power, ProjectorPower::Off);
    QCOMPARE(state.name, QStringLiteral("Room 101"));
    QCOMPARE(state.maker, QStringLiteral("Lumo"));
    QCOMPARE(state.model, QStringLiteral("Simulated Projector"));
    QCOMPARE(state.lamps, QList<ProjectorLamp>({{1000, false}}));
    QCOMPARE(state.Faults(), QStringLiteral("lamp: warning, temperature: error"));
    QCOMPARE(state.serial, protocolClass == 2 ? QStringLiteral("SIM0001") : QString());
    QCOMPARE(state.filterHours, protocolClass == 2 ? 0 : -1);
    QCOMPARE(state.inputs, QStringList({"11", "21", "31", "32", "51"}));
    QCOMPARE(state.lampModel, protocolClass == 2 ? QStringLiteral("LMP-100") : QString());
    QCOMPARE(state.recommendedResolution, protocolClass == 2 ? QStringLiteral("1920x1080") : QString());
    QVERIFY(state.lastAnswer.isValid());
    auto* pjlink = qobject_cast<PjlinkProjector*>(projector);
    qInfo("one poll: %lld ms, %lld bytes sent, %lld received", ms, pjlink->Client().BytesSent(),
          pjlink->Client().BytesReceived());
}

void TestPjlink::warmsUpAndCools_data()
{
    QTest::addColumn<int>("protocolClass");
    QTest::addColumn<QByteArray>("password");
    QTest::newRow("class 1") << 1 << QByteArray();
    QTest::newRow("class 2, password") << 2 << QByteArray("sesame");
}

void TestPjlink::warmsUpAndCools()
{
    QFETCH(int, protocolClass);
    QFETCH(QByteArray, password);
    // Ten lamp hours a second.
    QStringList args = {QStringLiteral("--class"), QString::number(protocolClass),
                        QStringLiteral("--warm-up"), QStringLiteral("2"),
                        QStringLiteral("--cool-down"), QStringLiteral("2"),
                        QStringLiteral("--speed"), QStringLiteral("36000")};
    if (!password.isEmpty())
        args << QStringLiteral("--password-file") << passwordFile(password);
    ProjectorLink* projector = link(startSimulator(args), password);
    QVERIFY(projector);

    QCOMPARE(command(projector, [=] { projector->SetPower(true); }), QString());
    QCOMPARE(poll(projector).power, ProjectorPower::WarmingUp);
    QVERIFY(projector->State().lamps.value(0).on);
    const QString refused = command(projector, [=] { projector->SetPower(false); });
    QVERIFY2(refused.contains(QLatin1String("ERR3")), qPrintable(refused));
    QTRY_COMPARE_WITH_TIMEOUT(poll(projector).power, ProjectorPower::On, 20000);
    const int litHours = projector->State().lamps.value(0).hours;
    // Lit for about 2 s (timers may fire a little early).
    QVERIFY2(litHours >= 1000 + 15, qPrintable(QString::number(litHours)));

    QCOMPARE(command(projector, [=] { projector->SetPower(false); }), QString());
    QCOMPARE(poll(projector).power, ProjectorPower::Cooling);
    // The lamp is out while it cools: its hours stand still over those 2 s.
    const int coolingHours = projector->State().lamps.value(0).hours;
    QTRY_COMPARE_WITH_TIMEOUT(poll(projector).power, ProjectorPower::Off, 20000);
    QVERIFY(!projector->State().lamps.value(0).on);
    QCOMPARE(projector->State().lamps.value(0).hours, coolingHours);
}

void TestPjlink::commands_data()
{
    QTest::addColumn<int>("protocolClass");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("error"); // empty: done
    QTest::newRow("input") << 1 << "input 32" << "";
    QTest::newRow("input, class 2") << 2 << "input 21" << "";
    QTest::newRow("input it lacks") << 1 << "input 41" << "ERR2";
    QTest::newRow("no input") << 1 << "input 3" << "is no input";
    QTest::newRow("class 2 input kind") << 1 << "input 61" << "ERR1";
    QTest::newRow("mute video") << 1 << "mute video" << "";
    QTest::newRow("mute both") << 2 << "mute both" << "";
    QTest::newRow("freeze") << 2 << "freeze" << "";
    QTest::newRow("freeze, class 1") << 1 << "freeze" << "ERR1";
}

void TestPjlink::commands()
{
    QFETCH(int, protocolClass);
    QFETCH(QString, action);
    QFETCH(QString, error);
    ProjectorLink* projector = link(startSimulator({QStringLiteral("--class"),
                                                    QString::number(protocolClass),
                                                    QStringLiteral("--warm-up"), QStringLiteral("0")}));
    QVERIFY(projector);
    QCOMPARE(command(projector, [=] { projector->SetPower(true); }), QString());
    QTRY_COMPARE_WITH_TIMEOUT(poll(projector).power, ProjectorPower::On, 20000);

    const QStringList words = action.split(u' ');
    const QString outcome = command(projector, [&] {
        if (words[0] == QLatin1String("input"))
            projector->SetInput(words[1]);
        else if (words[0] == QLatin1String("mute"))
            projector->SetMute(words[1] != QLatin1String("audio"), words[1] == QLatin1String("both"), true);
        else
            projector->SetFreeze(true);
    });
    QVERIFY2(error.isEmpty() ? outcome.isEmpty() : outcome.contains(error), qPrintable(outcome));
    if (!error.isEmpty())
        return;
    const ProjectorState& state = poll(projector);
    if (words[0] == QLatin1String("input")) {
        QCOMPARE(state.input, words[1]);
        QCOMPARE(state.inputName, protocolClass == 2 ? QStringLiteral("Video") : QString());
        QCOMPARE(state.inputResolution, protocolClass == 2 ? QStringLiteral("1920x1080") : QString());
    }
    if (words[0] == QLatin1String("mute"))
        QCOMPARE(std::pair(state.videoMuted, state.audioMuted), std::pair(true, words[1] == QLatin1String("both")));
    if (words[0] == QLatin1String("freeze"))
        QVERIFY(state.frozen);
}

void TestPjlink::reportsHealthAsItChanges()
{
    ProjectorLink* projector = link(startSimulator({QStringLiteral("--errors"), QStringLiteral("200000")}));
    QVERIFY(projector);
    QCOMPARE(poll(projector).Faults(), QStringLiteral("fan: error"));
    m_processes.back()->write("errors 000012\n");
    QTRY_COMPARE_WITH_TIMEOUT(poll(projector).Faults(), QStringLiteral("filter: warning, other: error"), 10000);
    QCOMPARE(projector->State().health[ProjectorState::Fan], ProjectorHealth::Ok);
}

void TestPjlink::notices_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("ignored"); // empty: taken
    QTest::addColumn<QString>("also");    // another projector watched
    QTest::newRow("power") << "127.0.0.1" << QByteArray("%2POWR=1\r") << "" << QString();
    QTest::newRow("health") << "127.0.0.1" << QByteArray("%2ERST=002000\r") << "" << QString();
    QTest::newRow("input") << "127.0.0.1" << QByteArray("%2INPT=32\r") << "" << QString();
    QTest::newRow("mute") << "127.0.0.1" << QByteArray("%2AVMT=31\r") << "" << QString();
    QTest::newRow("unknown sender") << "127.0.0.2" << QByteArray("%2POWR=1\r") << "no projector watched" << QString();
    QTest::newRow("too long") << "127.0.0.1" << "%2NAME=" + QByteArray(300, 'x') << "longer than 136" << QString();
    QTest::newRow("no notice") << "127.0.0.1" << QByteArray("%2NAME=x\r") << "no status notice" << QString();
    QTest::newRow("address of two") << "127.0.0.1" << QByteArray("%2POWR=1\r") << "2 projectors watched"
                                    << "pjlink://127.0.0.1:9";
    QTest::newRow("garbage") << "127.0.0.1" << QByteArray("\x01\x02hello") << "no answer" << QString();
}

void TestPjlink::notices()
{
    QFETCH(QString, from);
    QFETCH(QByteArray, datagram);
    QFETCH(QString, ignored);
    QFETCH(QString, also);
    QString error;
    ProjectorNotices* notices = m_part->Listen(0, nullptr, &error);
    QVERIFY2(notices, qPrintable(error));
    m_links.emplace_back(notices);
    // The simulator announces itself when it starts, and tells of each switch.
    const QString url = startSimulator({QStringLiteral("--notify"),
                                        QStringLiteral("127.0.0.1:%1").arg(notices->Port())});
    ProjectorLink* projector = link(url);
    QVERIFY(projector);
    QSignalSpy changed(projector, &ProjectorLink::changed);
    QSignalSpy ignoredSpy(notices, &ProjectorNotices::ignored);
    notices->Watch(projector);
    QCOMPARE(command(projector, [=] { projector->SetPower(true); }), QString());
    if (!also.isEmpty())
        notices->Watch(link(also));
    QTRY_COMPARE(projector->State().power, ProjectorPower::WarmingUp);
    changed.clear();

    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress(from), 0));
    sender.writeDatagram(datagram, QHostAddress::LocalHost, notices->Port());
    if (!ignored.isEmpty()) {
        QTRY_COMPARE(ignoredSpy.size(), 1);
        QVERIFY2(ignoredSpy.first().at(1).toString().contains(ignored),
                 qPrintable(ignoredSpy.first().at(1).toString()));
        QCOMPARE(changed.size(), 0);
        return;
    }
    QTRY_COMPARE(changed.size(), 1);
    const ProjectorState& state = projector->State();
    const QByteArray value = datagram.mid(7).trimmed();
    if (datagram.contains("POWR"))
        QCOMPARE(state.power, ProjectorPower::On);
    if (datagram.contains("ERST"))
        QCOMPARE(state.Faults(), QStringLiteral("temperature: error"));
    if (datagram.contains("INPT"))
        QCOMPARE(state.input, QStringLiteral("32"));
    if (datagram.contains("AVMT"))
        QVERIFY(state.videoMuted && state.audioMuted);
}

void TestPjlink::faults_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QByteArray>("reply"); // to the first command
    QTest::addColumn<bool>("close");
    QTest::addColumn<int>("slowMs"); // answers every command ERR3 after this long
    QTest::addColumn<QString>("error");
    QTest::newRow("silent") << QByteArray() << QByteArray() << false << 0 << "no answer within 0.5 s";
    QTest::newRow("no answer") << QByteArray("PJLINK 0\r") << QByteArray() << false << 0
                               << "no answer within 0.5 s";
    QTest::newRow("greets oddly") << QByteArray("HELLO\r") << QByteArray() << false << 0
                                  << "greeted with \"HELLO\"";
    QTest::newRow("refuses") << QByteArray("PJLINK ERRA\r") << QByteArray() << false << 0
                             << "refused the connection";
    QTest::newRow("garbage") << QByteArray("PJLINK 0\r") << QByteArray("hello world\r") << false << 0
                             << "\"hello world\", which is no answer";
    QTest::newRow("control bytes") << QByteArray("PJLINK 0\r") << QByteArray("%1CLSS=\x01\r")
                                   << false << 0 << "control characters";
    QTest::newRow("another answer") << QByteArray("PJLINK 0\r") << QByteArray("%1NAME=x\r")
                                    << false << 0 << "answered NAME to CLSS";
    QTest::newRow("closes mid-line") << QByteArray("PJLINK 0\r") << QByteArray("%1CL") << true << 0
                                     << "closed the connection in the middle of a line";
    QTest::newRow("closes") << QByteArray("PJLINK 0\r") << QByteArray() << true << 0
                            << "closed the connection before answering";
    QTest::newRow("137 bytes") << QByteArray("PJLINK 0\r") << "%1CLSS=" + QByteArray(130, '1')
                               << false << 0 << "longer than 136 bytes";
    QTest::newRow("slow") << QByteArray("PJLINK 0\r") << QByteArray() << false << 300
                          << "the queries took longer than 1 s";
    QTest::newRow("10 MB line") << QByteArray("PJLINK 0\r") << QByteArray(10 << 20, 'x') << false << 0
                                << "longer than 136 bytes";
}

void TestPjlink::faults()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArray, reply);
    QFETCH(bool, close);
    QFETCH(int, slowMs);
    QFETCH(QString, error);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    connect(&server, &QTcpServer::newConnection, this, [&] {
        QTcpSocket* socket = server.nextPendingConnection();
        socket->write(greeting);
        if (close && reply.isEmpty())
            socket->disconnectFromHost();
        connect(socket, &QTcpSocket::readyRead, socket, [=] {
            const QByteArray command = socket->readAll().mid(2, 4);
            if (slowMs > 0)
                QTimer::singleShot(slowMs, socket, [=] { socket->write("%1" + command + "=ERR3\r"); });
            socket->write(reply);
            if (close)
                socket->disconnectFromHost();
        });
    });
    PjlinkUrl url;
    QString parseError;
    QVERIFY(PjlinkUrl::Parse(QStringLiteral("pjlink://127.0.0.1:%1").arg(server.serverPort()), &url,
                             &parseError));
    PjlinkProjector projector(url, {});
    projector.Client().SetLimits({500, 500, 1000});
    const ProjectorState& state = poll(&projector);
    QVERIFY2(state.lastError.contains(error), qPrintable(state.lastError));
    QVERIFY2(state.lastError.startsWith(QStringLiteral("projector 127.0.0.1:%1: ").arg(server.serverPort())),
             qPrintable(state.lastError));
    QVERIFY(!state.reachable);
    // It stops reading at the first line too long: what it took is a few
    // lines, whatever the projector sends.
    QVERIFY2(projector.Client().BytesReceived() < 4096,
             qPrintable(QString::number(projector.Client().BytesReceived())));
}

void TestPjlink::simulatorClosesIdleConnections()
{
    const QString url = startSimulator({QStringLiteral("--idle"), QStringLiteral("0.3")});
    QVERIFY(!url.isEmpty());
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(url.section(u':', -1).toUInt()));
    QByteArray got;
    QTRY_COMPARE(got += socket.readAll(), QByteArray("PJLINK 0\r"));
    socket.write("%1POWR ?\r");
    QTRY_COMPARE(got += socket.readAll(), QByteArray("PJLINK 0\r%1POWR=0\r"));
    // Closed once it has heard nothing for the idle time.
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 10000);
}

void TestPjlink::followsVirtualController_data()
{
    QTest::addColumn<QString>("followed");
    QTest::addColumn<QStringList>("writes"); // "COM1 c": letter c to COM1
    QTest::addColumn<ProjectorPower>("power");
    QTest::newRow("on") << "COM1" << QStringList{"COM1 c"} << ProjectorPower::WarmingUp;
    QTest::newRow("other port") << "COM1" << QStringList{"COM2 c", "COM1 a"} << ProjectorPower::Off;
    QTest::newRow("off while warming") << "COM2" << QStringList{"COM2 c", "COM2 d"}
                                       << ProjectorPower::WarmingUp;
    QTest::newRow("other letters") << "COM1" << QStringList{"COM1 a", "COM1 e"} << ProjectorPower::Off;
}

void TestPjlink::followsVirtualController()
{
    QFETCH(QString, followed);
    QFETCH(QStringList, writes);
    QFETCH(ProjectorPower, power);
    const QString log = m_dir.filePath(QStringLiteral("vc.log"));
    auto& vc = m_processes.emplace_back(std::make_unique<QProcess>());
    vc->setStandardOutputFile(log);
    vc->start(QStringLiteral(LUMO_VC), {QStringLiteral("--dir"), m_dir.filePath(QStringLiteral("vc"))});
    const auto firstLine = [&log] {
        QFile output(log);
        output.open(QIODevice::ReadOnly);
        const QByteArray text = output.readAll();
        return text.contains('\n') ? QString::fromUtf8(text.left(text.indexOf('\n'))) : QString();
    };
    QTRY_VERIFY(!firstLine().isEmpty());
    const QString assignments = firstLine();
    QVERIFY2(assignments.startsWith(QLatin1String("LUMO_COM1=")), qPrintable(assignments));

    ProjectorLink* projector = link(startSimulator({QStringLiteral("--follow"), log,
                                                    QStringLiteral("--follow-port"), followed,
                                                    QStringLiteral("--warm-up"), QStringLiteral("60")}));
    QVERIFY(projector);
    QProcess& simulator = *m_processes.back();
    QCOMPARE(poll(projector).power, ProjectorPower::Off);
    qsizetype seen = 0; // letters of the followed port, which the simulator logs
    for (const QString& write : writes) {
        const QString port = write.section(u' ', 0, 0);
        const QString path = assignments.section(port + u'=', 1).section(u' ', 0, 0);
        QFile line(path);
        QVERIFY2(line.open(QIODevice::WriteOnly | QIODevice::Unbuffered), qPrintable(path));
        QVERIFY(line.putChar(write.back().toLatin1()));
        seen += port == followed;
    }
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += simulator.readAll()).count("controller ") >= seen, 10000);
    QCOMPARE(poll(projector).power, power);
}

QTEST_GUILESS_MAIN(TestPjlink)
#include "tst_pjlink.moc"
