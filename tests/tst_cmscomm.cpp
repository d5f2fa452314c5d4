#include "Pty.h"
#include "serial/CMSComm.h"
#include "serial/CommError.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace
{
// Runs `f`, which must throw a CommError with `code`; returns its description.
QString expectError(CommErrorCode code, const std::function<void()>& f)
{
    try {
        f();
    } catch (const CommError& e) {
        if (e.code() != code)
            qWarning() << "unexpected error" << int(e.code()) << e.description();
        return e.code() == code ? e.description() : QString();
    }
    qWarning() << "no error thrown";
    return {};
}

int openDescriptorCount()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

speed_t speedOf(const termios& t)
{
    return cfgetospeed(&t);
}
} // namespace

class TestCMSComm : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void letterIsOneByte();
    void mixedBytesArriveInOrder();
    void byteWrittenThenClosedArrives();
    void settingsApplyToOpenLine_data();
    void settingsApplyToOpenLine();
    void refusedSettingsChangeNothing_data();
    void refusedSettingsChangeNothing();
    void input();
    void missingDeviceThenPresentOne();
    void secondUserIsRefused_data();
    void secondUserIsRefused();
    void notATerminalIsRefused_data();
    void notATerminalIsRefused();
    void vanishAndReturn();
    void openCloseCyclesLeakNothing();
    void refusedCallsChangeNothing();
    void outputRefusesWideCharacters();

private:
    void openOn(CMSComm& comm, const Pty& pty, int port = 1);
};

void TestCMSComm::init()
{
    qunsetenv("LUMO_COM1");
    qunsetenv("LUMO_COM2");
}

void TestCMSComm::openOn(CMSComm& comm, const Pty& pty, int port)
{
    qputenv(qPrintable(QStringLiteral("LUMO_COM%1").arg(port)), pty.slavePath().toLocal8Bit());
    comm.SetCommPort(std::int16_t(port));
    comm.SetPortOpen(true);
}

void TestCMSComm::letterIsOneByte()
{
    Pty pty;
    CMSComm comm;
    openOn(comm, pty);
    comm.SetOutput(QStringLiteral("a"));
    QCOMPARE(pty.read(1), QByteArray("\x61"));
    QCOMPARE(pty.readAvailable(100), QByteArray());
}

void TestCMSComm::mixedBytesArriveInOrder()
{
    Pty pty;
    CMSComm comm;
    openOn(comm, pty);
    QRandomGenerator rng(42);
    QByteArray sent;
    for (int i = 0; i < 500; ++i) {
        const char byte = char(rng.bounded(256));
        sent.append(byte);
        // Text and bytes alike: each character is one byte.
        if (i % 2)
            comm.SetOutput(QString(QChar(uchar(byte))));
        else
            comm.SetOutput(QByteArray(1, byte));
    }
    QCOMPARE(pty.read(500), sent);
}

void TestCMSComm::byteWrittenThenClosedArrives()
{
    Pty pty;
    {
        CMSComm comm;
        openOn(comm, pty);
        comm.SetOutput(QStringLiteral("w"));
        comm.SetPortOpen(false);
    }
    QCOMPARE(pty.read(1), QByteArray("w"));
}

void TestCMSComm::settingsApplyToOpenLine_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("cflagMask");
    QTest::addColumn<int>("cflagExpected");

    // A pseudo-terminal carries 8 data bits and no parity, whatever it is
    // told, so these rows vary speed and stop bits.
    QTest::newRow("9600,n,8,1") << "9600,n,8,1" << int(B9600) << int(CSIZE | PARENB | CSTOPB)
                                << int(CS8);
    QTest::newRow("19200,n,8,2") << "19200,N,8,2" << int(B19200) << int(CSIZE | PARENB | CSTOPB)
                                 << int(CS8 | CSTOPB);
    QTest::newRow("115200,n,8,2") << " 115200, n, 8, 2" << int(B115200)
                                  << int(CSIZE | PARENB | CSTOPB) << int(CS8 | CSTOPB);
}

void TestCMSComm::settingsApplyToOpenLine()
{
    QFETCH(QString, settings);
    QFETCH(int, speed);
    QFETCH(int, cflagMask);
    QFETCH(int, cflagExpected);
    Pty pty;
    CMSComm comm;
    comm.SetSettings(QStringLiteral("300,n,8,1"));
    openOn(comm, pty);
    QCOMPARE(speedOf(pty.slaveTermios()), speed_t(B300));
    const auto handle = comm.GetCommID();

    comm.SetSettings(settings);
    const termios t = pty.slaveTermios();
    QCOMPARE(speedOf(t), speed_t(speed));
    QCOMPARE(int(t.c_cflag) & cflagMask, cflagExpected);
    QCOMPARE(comm.GetCommID(), handle); // the same open line, not a reopen
    QVERIFY(comm.GetPortOpen());
    comm.SetOutput(QStringLiteral("x"));
    QCOMPARE(pty.read(1), QByteArray("x"));
}

void TestCMSComm::refusedSettingsChangeNothing_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("code");
    QTest::newRow("malformed") << "fast" << int(CommErrorCode::InvalidPropertyValue);
    QTest::newRow("unknown speed") << "9601,n,8,1" << int(CommErrorCode::InvalidPropertyValue);
    QTest::newRow("4 data bits") << "9600,n,4,1" << int(CommErrorCode::SettingsNotSupported);
    QTest::newRow("1.5 stop bits") << "9600,n,8,1.5" << int(CommErrorCode::SettingsNotSupported);
    // What the driver cannot carry is refused, not half applied (the speed
    // comes first and must be put back).
    QTest::newRow("parity on a pty") << "19200,e,8,1" << int(CommErrorCode::SettingsNotSupported);
    QTest::newRow("7 data bits on a pty")
        << "19200,n,7,1" << int(CommErrorCode::SettingsNotSupported);
}

void TestCMSComm::refusedSettingsChangeNothing()
{
    QFETCH(QString, settings);
    QFETCH(int, code);
    Pty pty;
    CMSComm comm;
    openOn(comm, pty);
    comm.SetSettings(QStringLiteral("2400,n,8,2"));
    const termios before = pty.slaveTermios();

    QVERIFY(!expectError(CommErrorCode(code), [&] { comm.SetSettings(settings); }).isEmpty());
    QCOMPARE(comm.GetSettings(), QStringLiteral("2400,n,8,2"));
    const termios after = pty.slaveTermios();
    QCOMPARE(after.c_cflag, before.c_cflag);
    QCOMPARE(speedOf(after), speedOf(before));

    comm.SetPortOpen(false); // refused while closed too, and the stored value stays
    QVERIFY(!expectError(CommErrorCode::InvalidPropertyValue, [&] {
                 comm.SetSettings("9600,n,8");
             }).isEmpty());
    QCOMPARE(comm.GetSettings(), QStringLiteral("2400,n,8,2"));
}

void TestCMSComm::input()
{
    Pty pty;
    CMSComm comm;
    openOn(comm, pty);
    comm.SetInputMode(CMSComm::comInputModeBinary);
    QCOMPARE(comm.GetInput(), QVariant(QByteArray()));

    pty.write("hello");
    QTRY_COMPARE(comm.GetInBufferCount(), std::int16_t(5));
    comm.SetInputLen(2);
    QCOMPARE(comm.GetInput().toByteArray(), QByteArray("he"));
    comm.SetInputLen(0);
    QCOMPARE(comm.GetInput().toByteArray(), QByteArray("llo"));

    comm.SetInputMode(CMSComm::comInputModeText);
    pty.write("\xe9!");
    QTRY_COMPARE(comm.GetInBufferCount(), std::int16_t(2));
    QCOMPARE(comm.GetInput(), QVariant(QString::fromLatin1("\xe9!")));
    QCOMPARE(comm.GetInput(), QVariant(QString()));
}

void TestCMSComm::missingDeviceThenPresentOne()
{
    CMSComm comm;
    qputenv("LUMO_COM1", "/dev/lumo-no-such-device");
    const QString message =
        expectError(CommErrorCode::NoSuchDevice, [&] { comm.SetPortOpen(true); });
    QCOMPARE(message, QStringLiteral("COM1 (/dev/lumo-no-such-device): no such device"));
    QVERIFY(!comm.GetPortOpen());

    Pty pty;
    openOn(comm, pty);
    QVERIFY(comm.GetPortOpen());
    comm.SetOutput(QStringLiteral("b"));
    QCOMPARE(pty.read(1), QByteArray("b"));
}

void TestCMSComm::secondUserIsRefused_data()
{
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("same name") << false;
    QTest::newRow("a link and its target") << true;
}

void TestCMSComm::secondUserIsRefused()
{
    QFETCH(bool, throughLink);
    Pty pty;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("adapter"));
    QVERIFY(QFile::link(pty.slavePath(), link));

    CMSComm first;
    openOn(first, pty);
    CMSComm second;
    qputenv("LUMO_COM2", (throughLink ? link : pty.slavePath()).toLocal8Bit());
    second.SetCommPort(2);
    const QString message = expectError(CommErrorCode::PortBusy, [&] { second.SetPortOpen(true); });
    QVERIFY2(message.contains(QStringLiteral("in use by another program")), qPrintable(message));
    QVERIFY(!second.GetPortOpen());

    first.SetOutput(QStringLiteral("c"));
    QCOMPARE(pty.read(1), QByteArray("c"));
}

void TestCMSComm::notATerminalIsRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("regular file") << "file";
    QTest::newRow("/dev/null") << "null";
    QTest::newRow("directory") << "dir";
}

void TestCMSComm::notATerminalIsRefused()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = dir.path();
    if (kind == QLatin1String("file")) {
        path = dir.filePath(QStringLiteral("plain"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (kind == QLatin1String("null")) {
        path = QStringLiteral("/dev/null");
    }
    qputenv("LUMO_COM1", path.toLocal8Bit());
    CMSComm comm;
    const QString message =
        expectError(CommErrorCode::NotASerialDevice, [&] { comm.SetPortOpen(true); });
    QVERIFY2(message.startsWith(QStringLiteral("COM1 (%1): ").arg(path)), qPrintable(message));
    QVERIFY(!comm.GetPortOpen());
    if (kind == QLatin1String("file"))
        QCOMPARE(QFileInfo(path).size(), 0);
}

void TestCMSComm::vanishAndReturn()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyUSB0"));
    auto first = std::make_unique<Pty>();
    QVERIFY(QFile::link(first->slavePath(), link));
    qputenv("LUMO_COM1", link.toLocal8Bit());
    CMSComm comm;
    comm.SetPortOpen(true);
    comm.SetOutput(QStringLiteral("a"));
    QCOMPARE(first->read(1), QByteArray("a"));

    first.reset(); // the adapter is pulled out, and its name goes with it
    QVERIFY(QFile::remove(link));
    QTest::qWait(50);
    const QString message =
        expectError(CommErrorCode::Disconnected, [&] { comm.SetOutput(QStringLiteral("b")); });
    QCOMPARE(message, QStringLiteral("COM1 (%1): disconnected").arg(link));
    QVERIFY(comm.GetPortOpen()); // still wanted open; the device was released

    // Still away: the next click says so too.
    QVERIFY(!expectError(CommErrorCode::NoSuchDevice, [&] {
                 comm.SetOutput(QStringLiteral("c"));
             }).isEmpty());

    Pty second; // back, as the same name
    QVERIFY(QFile::link(second.slavePath(), link));
    comm.SetOutput(QStringLiteral("d"));
    QCOMPARE(second.read(1), QByteArray("d"));
    QCOMPARE(second.readAvailable(100), QByteArray()); // nothing failed is sent again
    QCOMPARE(speedOf(second.slaveTermios()), speed_t(B9600));
}

void TestCMSComm::openCloseCyclesLeakNothing()
{
    Pty pty;
    CMSComm comm;
    qputenv("LUMO_COM1", pty.slavePath().toLocal8Bit());
    comm.SetPortOpen(true); // let Qt make its one-time allocations
    comm.SetPortOpen(false);
    const int before = openDescriptorCount();
    for (int i = 0; i < 100; ++i) {
        comm.SetPortOpen(true);
        comm.SetOutput(QStringLiteral("z"));
        comm.SetPortOpen(false);
    }
    QCOMPARE(openDescriptorCount(), before);
    QCOMPARE(pty.read(100), QByteArray(100, 'z'));
    const QString lockName = QStringLiteral("LCK..") + QFileInfo(pty.slavePath()).fileName();
    for (const char* dirName : {"/var/lock", "/run/lock", "/tmp"})
        QVERIFY2(!QFile::exists(QDir(QLatin1String(dirName)).filePath(lockName)), dirName);
}

void TestCMSComm::refusedCallsChangeNothing()
{
    Pty pty;
    CMSComm comm;
    QVERIFY(!expectError(CommErrorCode::PortNotOpen, [&] {
                 comm.SetOutput(QStringLiteral("a"));
             }).isEmpty());
    QVERIFY(!expectError(CommErrorCode::InvalidPortNumber, [&] { comm.SetCommPort(0); }).isEmpty());
    QVERIFY(
        !expectError(CommErrorCode::InvalidPortNumber, [&] { comm.SetCommPort(-3); }).isEmpty());
    QCOMPARE(comm.GetCommPort(), std::int16_t(1));
    QVERIFY(
        !expectError(CommErrorCode::InvalidPropertyValue, [&] { comm.SetInputLen(-1); }).isEmpty());
    QVERIFY(!expectError(CommErrorCode::InvalidPropertyValue, [&] {
                 comm.SetRThreshold(-1);
             }).isEmpty());
    QVERIFY(
        !expectError(CommErrorCode::InvalidPropertyValue, [&] { comm.SetInputMode(2); }).isEmpty());
    QCOMPARE(comm.GetInputLen(), std::int16_t(0));
    QCOMPARE(comm.GetRThreshold(), std::int16_t(0));
    QCOMPARE(comm.GetInputMode(), std::int32_t(0));

    openOn(comm, pty, 2);
    QVERIFY(
        !expectError(CommErrorCode::PortAlreadyOpen, [&] { comm.SetPortOpen(true); }).isEmpty());
    QVERIFY(!expectError(CommErrorCode::PortAlreadyOpen, [&] { comm.SetCommPort(1); }).isEmpty());
    QCOMPARE(comm.GetCommPort(), std::int16_t(2));
    // A pseudo-terminal has no modem lines: asked, it answers without harm.
    comm.SetDTREnable(false);
    comm.SetRTSEnable(false);
    QVERIFY(!comm.GetCDHolding());
    QVERIFY(!comm.GetDTREnable());
    QTest::qWait(20); // a refused modem-line call must not read as a lost device
    comm.SetOutput(QStringLiteral("q"));
    QCOMPARE(pty.read(1), QByteArray("q"));
    QCOMPARE(pty.readAvailable(50), QByteArray());
}

void TestCMSComm::outputRefusesWideCharacters()
{
    Pty pty;
    CMSComm comm;
    openOn(comm, pty);
    const QString message = expectError(CommErrorCode::InvalidPropertyValue, [&] {
        comm.SetOutput(QStringLiteral("ab") + QChar(0x4E2D));
    });
    QVERIFY2(message.contains(QStringLiteral("U+4E2D")), qPrintable(message));
    QVERIFY(
        !expectError(CommErrorCode::InvalidPropertyValue, [&] { comm.SetOutput(42); }).isEmpty());
    QCOMPARE(pty.readAvailable(100), QByteArray()); // not even the valid prefix went out
}

QTEST_GUILESS_MAIN(TestCMSComm)
#include "tst_cmscomm.moc"
