// A controller behind a network serial server: the device names, the real
// ser2net bridging a pseudo-terminal held here, and a fake server for the
// misbehaviour ser2net cannot be made to show.
#include "ExpectError.h"
#include "FakeComPortServer.h"
#include "HeldPort.h"
#include "Pty.h"
#include "Ser2net.h"
#include "serial/CMSComm.h"
#include "serial/CommError.h"
#include "serial/DeviceFactory.h"
#include "serial/DeviceUrl.h"
#include "serial/TelnetParser.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

namespace
{
std::unique_ptr<CMSComm> openOn(int port, const QString& device)
{
    qputenv(qPrintable(QStringLiteral("LUMO_COM%1").arg(port)), device.toUtf8());
    auto comm = std::make_unique<CMSComm>();
    comm->SetCommPort(std::int16_t(port));
    return comm;
}
} // namespace

class TestNetworkDevice : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void urlsAccepted_data();
    void urlsAccepted();
    void urlsRefused_data();
    void urlsRefused();
    void letterArrives_data();
    void letterArrives();
    void settingsReachTheLine_data();
    void settingsReachTheLine();
    void inputIsKeptUpToTheLimit();
    void clearingInputPurges();
    void secondUserIsBusy_data();
    void secondUserIsBusy();
    void serverStoppedAndStartedAgain();
    void noServerThere_data();
    void noServerThere();
    void misbehavingServer_data();
    void misbehavingServer();
    void hostileStreamIsConsumed();
    void refusedChangeKeepsTheLine();
    void shortConnectionsLoseNothing_data();
    void shortConnectionsLoseNothing();
    void closingWaitsForConfirmation_data();
    void closingWaitsForConfirmation();
    void controlValuesAsTheRfcSays_data();
    void controlValuesAsTheRfcSays();
    void farSideFlowControl_data();
    void farSideFlowControl();

private:
    bool startSer2net();
    std::unique_ptr<Pty> m_pty;
    std::unique_ptr<Ser2net> m_ser2net;
    HeldPort m_refusing; // connections to it are refused
};

void TestNetworkDevice::init()
{
    m_pty = std::make_unique<Pty>();
    QVERIFY(m_pty->isValid());
}

void TestNetworkDevice::cleanup()
{
    m_ser2net.reset();
    m_pty.reset();
}

// Skips the test only when ser2net truly cannot run here.
bool TestNetworkDevice::startSer2net()
{
    m_ser2net = std::make_unique<Ser2net>(m_pty->slavePath());
    if (m_ser2net->start())
        return true;
    qWarning("%s", qPrintable(m_ser2net->error()));
    return false;
}

#define START_SER2NET()                                                                            \
    do {                                                                                           \
        if (!startSer2net())                                                                       \
            QSKIP("ser2net cannot be started");                                                    \
    } while (false)

void TestNetworkDevice::urlsAccepted_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("rfc2217");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("name") << "rfc2217://ser2net.lan:7000" << true << "ser2net.lan" << 7000;
    QTest::newRow("ipv4, raw") << "socket://192.0.2.7:4001" << false << "192.0.2.7" << 4001;
    QTest::newRow("ipv6") << "rfc2217://[::1]:1" << true << "::1" << 1;
    QTest::newRow("scheme in capitals, slash")
        << "SOCKET://Box-1:65535/" << false << "Box-1" << 65535;
}

void TestNetworkDevice::urlsAccepted()
{
    QFETCH(QString, name);
    QVERIFY(DeviceUrl::LooksLikeUrl(name));
    const DeviceUrl url = DeviceUrl::Parse(QStringLiteral("COM2"), name);
    QFETCH(bool, rfc2217);
    QCOMPARE(url.kind == DeviceUrl::Kind::Rfc2217, rfc2217);
    QTEST(url.host, "host");
    QTEST(int(url.port), "port");
}

void TestNetworkDevice::urlsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("unknown scheme") << "foo://host:1"
                                    << "unknown kind of device \"foo://\"";
    QTest::newRow("no port") << "rfc2217://host"
                             << "no TCP port";
    QTest::newRow("empty port") << "rfc2217://host:"
                                << "no TCP port";
    QTest::newRow("port 0") << "rfc2217://host:0"
                            << "1 to 65535, not \"0\"";
    QTest::newRow("port 70000") << "socket://host:70000"
                                << "1 to 65535, not \"70000\"";
    QTest::newRow("port not a number") << "socket://host:+7"
                                       << "1 to 65535";
    QTest::newRow("empty host") << "rfc2217://:7000"
                                << "no host";
    QTest::newRow("bare ipv6") << "rfc2217://::1:7000"
                               << "in brackets";
    QTest::newRow("not ipv6 in brackets") << "rfc2217://[host]:7000"
                                          << "not an IPv6 address";
    QTest::newRow("bad host") << "rfc2217://ho st:7000"
                              << "not a host name";
    QTest::newRow("path") << "rfc2217://host:7000/dev/ttyS0"
                          << "after the port";
    QTest::newRow("options") << "rfc2217://host:7000?logging=debug"
                             << "after the port";
}

// Each refusal names the port, the device and the reason, and nothing opens.
void TestNetworkDevice::urlsRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    auto comm = openOn(2, name);
    const QString message =
        expectError(CommErrorCode::BadDeviceUrl, [&] { comm->SetPortOpen(true); });
    QVERIFY2(message.startsWith(QStringLiteral("COM2 (%1): ").arg(name)), qPrintable(message));
    QVERIFY2(message.contains(reason), qPrintable(message));
    QVERIFY(!comm->GetPortOpen());
}

void TestNetworkDevice::letterArrives_data()
{
    QTest::addColumn<bool>("rfc2217");
    QTest::addColumn<bool>("byName"); // "localhost": looked up, maybe ::1 first
    QTest::newRow("rfc2217") << true << false;
    QTest::newRow("raw tcp") << false << false;
    QTest::newRow("rfc2217, host by name") << true << true;
}

// A letter, a 0xFF and what the controller answers all pass unchanged; with
// RFC 2217 the line is at 9600 8N1 while the control is connected.
void TestNetworkDevice::letterArrives()
{
    QFETCH(bool, rfc2217);
    QFETCH(bool, byName);
    START_SER2NET();
    QString url = rfc2217 ? m_ser2net->rfc2217Url() : m_ser2net->rawUrl();
    if (byName)
        url.replace(QStringLiteral("127.0.0.1"), QStringLiteral("localhost"));
    auto comm = openOn(1, url);
    comm->SetInputMode(CMSComm::comInputModeBinary);
    comm->SetPortOpen(true);
    comm->SetOutput(QStringLiteral("c"));
    QCOMPARE(m_pty->read(1), QByteArray("c"));
    comm->SetOutput(QByteArray("\xff"
                               "d"));
    QCOMPARE(m_pty->read(2), QByteArray("\xff"
                                        "d"));
    QCOMPARE(m_pty->readAvailable(100), QByteArray()); // nothing twice

    m_pty->write(QByteArray("ok\xff"));
    QTRY_COMPARE(comm->GetInBufferCount(), std::int16_t(3));
    QCOMPARE(comm->GetInput().toByteArray(), QByteArray("ok\xff"));

    if (rfc2217) {
        const termios t = m_pty->slaveTermios();
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(t.c_cflag & (PARENB | CSTOPB), tcflag_t(0));
    }
}

void TestNetworkDevice::settingsReachTheLine_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("speed");
    QTest::addColumn<bool>("twoStops");
    QTest::newRow("19200,e,7,2") << "19200,e,7,2" << int(B19200) << true;
    QTest::newRow("4800,o,8,1") << "4800,o,8,1" << int(B4800) << false;
}

void TestNetworkDevice::settingsReachTheLine()
{
    QFETCH(QString, settings);
    START_SER2NET();
    auto comm = openOn(1, m_ser2net->rfc2217Url());
    comm->SetPortOpen(true);
    comm->SetSettings(settings);
    const termios t = m_pty->slaveTermios();
    QTEST(int(cfgetospeed(&t)), "speed");
    // A pseudo-terminal keeps speed and stop bits; it has no parity or size.
    QTEST(bool(t.c_cflag & CSTOPB), "twoStops");
    QCOMPARE(comm->GetSettings(), settings);
}

// The control's input buffer size bounds what is kept; the rest is dropped
// and reported once.
void TestNetworkDevice::inputIsKeptUpToTheLimit()
{
    START_SER2NET();
    auto device = MakeSerialDevice(QStringLiteral("COM1"), m_ser2net->rfc2217Url());
    device->SetInputLimit(10);
    device->Open(SerialSettings{});
    m_pty->write(QByteArray(25, 'x'));
    QTRY_COMPARE(device->BytesAvailable(), qint64(10)); // one piece: the rest is dropped
    QVERIFY(device->TakeOverrun());
    QVERIFY(!device->TakeOverrun());
    QCOMPARE(device->Read(4), QByteArray(4, 'x'));
    QCOMPARE(device->Read(0), QByteArray(6, 'x'));
}

void TestNetworkDevice::clearingInputPurges()
{
    START_SER2NET();
    auto comm = openOn(1, m_ser2net->rfc2217Url());
    comm->SetPortOpen(true);
    m_pty->write("stale");
    QTRY_COMPARE(comm->GetInBufferCount(), std::int16_t(5));
    comm->SetInBufferCount(0);
    QCOMPARE(comm->GetInBufferCount(), std::int16_t(0));
    m_pty->write("new");
    QTRY_COMPARE(comm->GetInBufferCount(), std::int16_t(3));
    QCOMPARE(comm->GetInput().toString(), QStringLiteral("new"));
}

void TestNetworkDevice::secondUserIsBusy_data()
{
    QTest::addColumn<bool>("firstRfc2217");
    QTest::addColumn<bool>("secondRfc2217");
    QTest::newRow("rfc2217 then rfc2217") << true << true;
    QTest::newRow("raw then raw") << false << false;
    QTest::newRow("rfc2217 then raw") << true << false;
    QTest::newRow("raw then rfc2217") << false << true;
}

// ser2net lets one client have the line; the second hears "in use", and the
// first keeps working.
void TestNetworkDevice::secondUserIsBusy()
{
    QFETCH(bool, firstRfc2217);
    QFETCH(bool, secondRfc2217);
    START_SER2NET();
    const auto url = [&](bool rfc) { return rfc ? m_ser2net->rfc2217Url() : m_ser2net->rawUrl(); };
    auto first = openOn(1, url(firstRfc2217));
    first->SetPortOpen(true);
    auto second = openOn(2, url(secondRfc2217));
    const QString message =
        expectError(CommErrorCode::PortBusy, [&] { second->SetPortOpen(true); });
    QCOMPARE(message,
             QStringLiteral("COM2 (%1): in use by another program").arg(url(secondRfc2217)));
    QVERIFY(!second->GetPortOpen());
    first->SetOutput(QStringLiteral("e"));
    QCOMPARE(m_pty->read(1), QByteArray("e"));
}

// The server goes away mid-session: the click that finds it says so, the
// next ones try again, and once it is back the letter goes out once.
void TestNetworkDevice::serverStoppedAndStartedAgain()
{
    START_SER2NET();
    auto comm = openOn(1, m_ser2net->rfc2217Url());
    comm->SetPortOpen(true);
    comm->SetOutput(QStringLiteral("a"));
    QCOMPARE(m_pty->read(1), QByteArray("a"));

    m_ser2net->stop();
    comm->SetSettings(QStringLiteral("19200,n,8,1")); // kept for the next connection
    const QString lost =
        expectError(CommErrorCode::Disconnected, [&] { comm->SetOutput(QStringLiteral("b")); });
    QVERIFY2(lost.contains(QStringLiteral("disconnected")), qPrintable(lost));
    QVERIFY(comm->GetPortOpen()); // the control still holds the port; the link is released
    const QString down = expectError(CommErrorCode::ConnectionRefused,
                                     [&] { comm->SetOutput(QStringLiteral("b")); });
    QVERIFY2(down.contains(QStringLiteral("connection refused")), qPrintable(down));

    QVERIFY(m_ser2net->start());
    comm->SetOutput(QStringLiteral("c"));
    QCOMPARE(m_pty->read(1), QByteArray("c"));
    QCOMPARE(m_pty->readAvailable(200), QByteArray());
    const termios t = m_pty->slaveTermios();
    QCOMPARE(cfgetospeed(&t), speed_t(B19200)); // set up again on the new link
}

void TestNetworkDevice::noServerThere_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reason");
    QTest::newRow("refused") << QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_refusing.port())
                             << int(CommErrorCode::ConnectionRefused) << "connection refused";
    QTest::newRow("unknown host") << "socket://no-such-host.invalid:7000"
                                  << int(CommErrorCode::HostUnknown) << "is not known";
}

void TestNetworkDevice::noServerThere()
{
    QFETCH(QString, url);
    QFETCH(int, code);
    auto comm = openOn(1, url);
    const QString message = expectError(CommErrorCode(code), [&] { comm->SetPortOpen(true); });
    QVERIFY2(message.startsWith(QStringLiteral("COM1 (%1): ").arg(url)), qPrintable(message));
    QFETCH(QString, reason);
    QVERIFY2(message.contains(reason), qPrintable(message));
    QVERIFY(!comm->GetPortOpen());
}

void TestNetworkDevice::misbehavingServer_data()
{
    QTest::addColumn<FakeComPortServer::Mode>("mode");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reason");
    using M = FakeComPortServer::Mode;
    QTest::newRow("never confirms") << M::Silent << int(CommErrorCode::ServerRefusedLine)
                                    << "did not confirm the line settings 9600,n,8,1";
    QTest::newRow("other speed") << M::OtherSpeed << int(CommErrorCode::SettingsNotSupported)
                                 << "cannot use 9600 baud (the server set 19200 baud)";
    QTest::newRow("hangs up") << M::CloseInNegotiation << int(CommErrorCode::ServerRefusedLine)
                              << "closed the connection while setting up";
    QTest::newRow("no RFC 2217") << M::RefuseComPort << int(CommErrorCode::SettingsNotSupported)
                                 << "use socket://127.0.0.1:";
}

// Every failure to set the line up is an error within the open's bound,
// and the link is let go.
void TestNetworkDevice::misbehavingServer()
{
    QFETCH(FakeComPortServer::Mode, mode);
    FakeComPortServer server(mode);
    QVERIFY(server.startListening() != 0);
    auto device = MakeSerialDevice(QStringLiteral("COM1"), server.url());
    QElapsedTimer timer;
    timer.start();
    QFETCH(int, code);
    const QString message =
        expectError(CommErrorCode(code), [&] { device->Open(SerialSettings{}); });
    QVERIFY(timer.elapsed() < 4000);
    QFETCH(QString, reason);
    QVERIFY2(message.contains(reason), qPrintable(message));
    QVERIFY(!device->IsOpen());
    QCOMPARE(device->Handle(), qintptr(-1));
}

// 0xFF data, stray and overlong subnegotiations and unknown options: the
// data comes through exactly, the rest is consumed, and 0xFF written is
// doubled on the wire.
void TestNetworkDevice::hostileStreamIsConsumed()
{
    FakeComPortServer server(FakeComPortServer::Mode::Faithful);
    QVERIFY(server.startListening() != 0);
    auto device = MakeSerialDevice(QStringLiteral("COM1"), server.url());
    device->Open(SerialSettings{});

    QByteArray stream("a\xff\xff"
                      "b");
    stream += TelnetParser::Subnegotiation(1, "junk");                      // another option
    stream += TelnetParser::Subnegotiation(44, QByteArray("\xc8\xff\x01")); // unknown code
    stream += TelnetParser::Subnegotiation(44, QByteArray(1000, '\x6b'));   // overlong
    stream += TelnetParser::Negotiation(TelnetParser::WILL, 99);
    stream += TelnetParser::Negotiation(TelnetParser::DO, 98);
    stream += QByteArray("\xff\xf1"
                         "c\xff\xfa\x2c\x6b\x10\xff\xf0"); // NOP, then CTS on
    server.send(stream);
    QTRY_COMPARE(device->BytesAvailable(), qint64(4));
    QCOMPARE(device->Read(0), QByteArray("a\xff"
                                         "bc"));
    QVERIFY(device->ReadModemLines().cts);

    device->Write(QByteArray("\xff"
                             "z"));
    QTRY_VERIFY(server.received().endsWith(QByteArray("\xff\xff"
                                                      "z")));
    // Unknown options are refused once each.
    QCOMPARE(server.received().count(TelnetParser::Negotiation(TelnetParser::DONT, 99)), 1);
    QCOMPARE(server.received().count(TelnetParser::Negotiation(TelnetParser::WONT, 98)), 1);
}

// A server that will not change the speed: the change is refused with what
// the server kept, the old settings stay in force and the line still works.
void TestNetworkDevice::refusedChangeKeepsTheLine()
{
    FakeComPortServer server(FakeComPortServer::Mode::KeepsFirstSpeed);
    QVERIFY(server.startListening() != 0);
    auto comm = openOn(1, server.url());
    comm->SetPortOpen(true);
    const QString message = expectError(CommErrorCode::SettingsNotSupported,
                                        [&] { comm->SetSettings(QStringLiteral("19200,n,8,1")); });
    QVERIFY2(message.contains(QStringLiteral("cannot use 19200 baud (the server set 9600 baud)")),
             qPrintable(message));
    QCOMPARE(comm->GetSettings(), QStringLiteral("9600,n,8,1"));
    comm->SetOutput(QStringLiteral("c"));
    QTRY_VERIFY(server.received().endsWith('c'));
}

void TestNetworkDevice::shortConnectionsLoseNothing_data()
{
    QTest::addColumn<bool>("rfc2217");
    QTest::addColumn<int>("cycles");
    QTest::newRow("rfc2217") << true << 100;
    QTest::newRow("raw tcp") << false << 25; // each open waits 0.1 s for a refusal
}

// Open, one letter, close at once: a click followed by closing the panel,
// or a `lumo send`. ser2net drops what it has not passed on to its device
// when the client hangs up; closing waits until it has.
void TestNetworkDevice::shortConnectionsLoseNothing()
{
    QFETCH(bool, rfc2217);
    QFETCH(int, cycles);
    START_SER2NET();
    auto comm = openOn(1, rfc2217 ? m_ser2net->rfc2217Url() : m_ser2net->rawUrl());
    const auto open = [&] {
        try {
            comm->SetPortOpen(true);
            return true;
        } catch (const CommError& e) {
            if (e.code() != CommErrorCode::PortBusy)
                throw;
            return false; // ser2net lets go of the line a moment after the client left
        }
    };
    // Each letter is read before the next connection: ser2net flushes the
    // pseudo-terminal when it opens it again (TCIOFLUSH), which drops what
    // the kernel has not yet handed to this reader, a stand-in's loss that
    // a serial line, drained on close, does not have.
    QByteArray got;
    for (int i = 0; i < cycles; ++i) {
        QVERIFY(QTest::qWaitFor(open, 5000));
        comm->SetOutput(QStringLiteral("d"));
        comm->SetPortOpen(false);
        got += m_pty->read(1, 5000);
        QVERIFY2(got.size() == i + 1, qPrintable(QStringLiteral("letter %1 was lost").arg(i + 1)));
    }
    got += m_pty->readAvailable(100); // nothing twice
    QCOMPARE(got, QByteArray(cycles, 'd'));
}

void TestNetworkDevice::closingWaitsForConfirmation_data()
{
    QTest::addColumn<FakeComPortServer::Mode>("mode");
    QTest::addColumn<int>("code"); // 0: no error
    QTest::addColumn<QString>("reason");
    using M = FakeComPortServer::Mode;
    QTest::newRow("confirmed") << M::Faithful << 0 << QString();
    QTest::newRow("never confirmed")
        << M::NeverConfirms << int(CommErrorCode::WriteFailed)
        << "did not confirm within 2 s that it passed on what was sent; it may not have arrived";
    QTest::newRow("hung up before confirming")
        << M::HangUpOnData << int(CommErrorCode::Disconnected)
        << "lost before the server confirmed what was sent";
}

// Closing asks the server, after the data, for the speed (SET-BAUDRATE 0),
// and waits for the answer within a bound; the port is closed either way.
void TestNetworkDevice::closingWaitsForConfirmation()
{
    QFETCH(FakeComPortServer::Mode, mode);
    QFETCH(int, code);
    FakeComPortServer server(mode);
    QVERIFY(server.startListening() != 0);
    auto comm = openOn(1, server.url());
    comm->SetPortOpen(true);
    comm->SetOutput(QStringLiteral("c"));
    QElapsedTimer timer;
    timer.start();
    if (code) {
        const QString message = expectError(CommErrorCode(code), [&] { comm->SetPortOpen(false); });
        QFETCH(QString, reason);
        QVERIFY2(message.contains(reason), qPrintable(message));
        QVERIFY(timer.elapsed() < 3000);
    } else {
        comm->SetPortOpen(false);
    }
    QVERIFY(!comm->GetPortOpen());
    if (mode == FakeComPortServer::Mode::HangUpOnData)
        return;
    const QByteArray wire = server.received();
    const qsizetype data = wire.lastIndexOf('c');
    QVERIFY(data > 0 && wire.indexOf(QByteArray::fromHex("fffa2c0100000000fff0")) > data);
}

void TestNetworkDevice::controlValuesAsTheRfcSays_data()
{
    QTest::addColumn<int>("handshaking");
    QTest::addColumn<bool>("dtr");
    QTest::addColumn<bool>("rts");
    // SET-CONTROL values on opening (flow control, DTR, RTS unless RTS/CTS
    // has it, break off), then for break on and off.
    QTest::addColumn<QList<int>>("values");
    QTest::newRow("no flow control, DTR and RTS on")
        << 0 << true << true << QList<int>{1, 8, 11, 6, 5, 6};
    QTest::newRow("XON/XOFF, DTR and RTS off")
        << 1 << false << false << QList<int>{2, 9, 12, 6, 5, 6};
    QTest::newRow("RTS/CTS") << 2 << true << true << QList<int>{3, 8, 6, 5, 6};
}

void TestNetworkDevice::controlValuesAsTheRfcSays()
{
    FakeComPortServer server(FakeComPortServer::Mode::Faithful);
    QVERIFY(server.startListening() != 0);
    auto comm = openOn(1, server.url());
    QFETCH(int, handshaking);
    QFETCH(bool, dtr);
    QFETCH(bool, rts);
    comm->SetHandshaking(handshaking);
    comm->SetDTREnable(dtr);
    comm->SetRTSEnable(rts);
    comm->SetPortOpen(true);
    comm->SetBreak(true);
    comm->SetBreak(false);
    constexpr unsigned char kSetControl = 5;
    QFETCH(QList<int>, values);
    QTRY_COMPARE(server.requests(kSetControl), values);
}

void TestNetworkDevice::farSideFlowControl_data()
{
    QTest::addColumn<int>("handshaking");
    QTest::addColumn<bool>("ixon");
    QTest::addColumn<bool>("ixoff");
    QTest::addColumn<bool>("crtscts");
    QTest::newRow("none") << 0 << false << false << false;
    QTest::newRow("XON/XOFF") << 1 << true << true << false;
    QTest::newRow("RTS/CTS") << 2 << false << false << true;
}

// The flow control asked for is the one ser2net's device has.
void TestNetworkDevice::farSideFlowControl()
{
    QFETCH(int, handshaking);
    START_SER2NET();
    auto comm = openOn(1, m_ser2net->rfc2217Url());
    comm->SetHandshaking(handshaking);
    comm->SetPortOpen(true);
    comm->SetOutput(QStringLiteral("c")); // ser2net handles requests in order
    QCOMPARE(m_pty->read(1), QByteArray("c"));
    const termios t = m_pty->slaveTermios();
    QTEST(bool(t.c_iflag & IXON), "ixon");
    QTEST(bool(t.c_iflag & IXOFF), "ixoff");
    QTEST(bool(t.c_cflag & CRTSCTS), "crtscts");
}

QTEST_MAIN(TestNetworkDevice)
#include "tst_networkdevice.moc"
