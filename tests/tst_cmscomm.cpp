#include "ExpectError.h"
#include "FakeDevice.h"
#include "Pty.h"
#include "serial/CMSComm.h"
#include "serial/CommError.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
int openDescriptorCount()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

speed_t speedOf(const termios& t)
{
    return cfgetospeed(&t);
}

// What arrived on the slave side and nobody read yet.
int unreadOnSlave(const Pty& pty)
{
    int n = -1;
    ::ioctl(pty.slaveFd(), FIONREAD, &n);
    return n;
}

// Bytes that show a lost, repeated or reordered one.
QByteArray pattern(qsizetype from, qsizetype count)
{
    QByteArray out(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i)
        out[i] = char((from + i) % 251);
    return out;
}

// How many bytes of a failed write went out, as its message says.
qsizetype bytesWentOut(const QString& message)
{
    const auto m =
        QRegularExpression(QStringLiteral("(\\d+) of the \\d+ bytes went out")).match(message);
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
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
    void stalledReaderLosesNothing();
    void inputIsBounded_data();
    void inputIsBounded();
    void inputFilters_data();
    void inputFilters();
    void reconnectRestoresLine_data();
    void reconnectRestoresLine();
    void closingClearsBreak();
    void deviceFailures_data();
    void deviceFailures();
    void hangUpDetected_data();
    void hangUpDetected();
    void deviceNames_data();
    void deviceNames();
    void lockFileOfAnother_data();
    void lockFileOfAnother();

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
    QTest::addColumn<bool>("exclusiveOnly");
    QTest::newRow("same name") << false << false;
    QTest::newRow("a link and its target") << true << false;
    // Another program holds it with TIOCEXCL alone, no lock of any kind:
    // root is let through by the system, and must still keep out.
    QTest::newRow("held exclusively by another program") << false << true;
}

void TestCMSComm::secondUserIsRefused()
{
    QFETCH(bool, throughLink);
    QFETCH(bool, exclusiveOnly);
    Pty pty;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("adapter"));
    QVERIFY(QFile::link(pty.slavePath(), link));

    CMSComm first;
    if (exclusiveOnly)
        QCOMPARE(::ioctl(pty.slaveFd(), TIOCEXCL), 0);
    else
        openOn(first, pty);
    CMSComm second;
    qputenv("LUMO_COM2", (throughLink ? link : pty.slavePath()).toLocal8Bit());
    second.SetCommPort(2);
    const QString message = expectError(CommErrorCode::PortBusy, [&] { second.SetPortOpen(true); });
    QVERIFY2(message.contains(QStringLiteral("in use by another program")), qPrintable(message));
    QVERIFY(!second.GetPortOpen());
    if (exclusiveOnly) {
        QCOMPARE(pty.readAvailable(50), QByteArray());
        return;
    }

    first.SetOutput(QStringLiteral("c"));
    QCOMPARE(pty.read(1), QByteArray("c"));
}

void TestCMSComm::notATerminalIsRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("regular file") << "file";
    QTest::newRow("/dev/null") << "null";
    QTest::newRow("directory") << "dir";
    // Each open of it makes a new pseudo-terminal that nobody listens to.
    QTest::newRow("/dev/ptmx") << "ptmx";
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
    } else if (kind == QLatin1String("ptmx")) {
        path = QStringLiteral("/dev/ptmx");
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
    // Nothing holds the device any more: no lock file ("LCK..pts_3" for
    // /dev/pts/3), no exclusive flag, no flock.
    const QString lockName = QStringLiteral("LCK..") +
                             pty.slavePath().mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char* dirName : {"/var/lock", "/run/lock", "/tmp"})
        QVERIFY2(!QFile::exists(QDir(QLatin1String(dirName)).filePath(lockName)), dirName);
    int exclusive = -1;
    QCOMPARE(::ioctl(pty.slaveFd(), TIOCGEXCL, &exclusive), 0);
    QCOMPARE(exclusive, 0);
    QCOMPARE(::flock(pty.slaveFd(), LOCK_EX | LOCK_NB), 0);
    ::flock(pty.slaveFd(), LOCK_UN);
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

// The far end stops reading: writes are accepted until the line is full,
// then one times out. Every byte accepted before that, and the part of the
// failed write its message owns up to, arrives once the reader resumes.
void TestCMSComm::stalledReaderLosesNothing()
{
    Pty pty;
    CMSComm comm;
    openOn(comm, pty);
    constexpr qsizetype kChunk = 100;
    QByteArray accepted;
    QString message;
    while (message.isEmpty()) {
        const QByteArray chunk = pattern(accepted.size(), kChunk);
        try {
            comm.SetOutput(chunk);
            accepted += chunk;
        } catch (const CommError& e) {
            QCOMPARE(e.code(), CommErrorCode::WriteFailed);
            message = e.description();
            const qsizetype part = bytesWentOut(message);
            QVERIFY2(part >= 0 && part < kChunk, qPrintable(message));
            accepted += chunk.first(part);
        }
        QVERIFY2(accepted.size() < (4 << 20), "the line never filled up");
    }
    QVERIFY(comm.GetPortOpen());
    qInfo("accepted %lld bytes before the stall", qlonglong(accepted.size()));

    const QByteArray arrived = pty.read(int(accepted.size()) + 1, 5000);
    qInfo("%lld bytes arrived after the stall", qlonglong(arrived.size()));
    QCOMPARE(arrived.size(), accepted.size());
    QVERIFY(arrived == accepted);
    comm.SetOutput(QStringLiteral("z")); // the line carries on
    QCOMPARE(pty.read(1), QByteArray("z"));
}

void TestCMSComm::inputIsBounded_data()
{
    QTest::addColumn<int>("limit");
    QTest::newRow("default 1024") << 0;
    QTest::newRow("16") << 16;
    QTest::newRow("8000") << 8000;
}

// A controller that talks while nobody reads: the control keeps the oldest
// bytes up to InBufferSize and reports the overrun.
void TestCMSComm::inputIsBounded()
{
    QFETCH(int, limit);
    Pty pty;
    CMSComm comm;
    comm.SetInputMode(CMSComm::comInputModeBinary);
    if (limit)
        comm.SetInBufferSize(std::int16_t(limit));
    else
        limit = comm.GetInBufferSize();
    openOn(comm, pty);

    const QByteArray sent = pattern(0, 4 << 20);
    qsizetype done = 0;
    QDeadlineTimer deadline(60000);
    while (done < sent.size() && !deadline.hasExpired()) {
        done += pty.write(QByteArrayView(sent).sliced(done), 0);
        QCoreApplication::processEvents(); // the panel's event loop, never reading
    }
    QCOMPARE(done, sent.size());
    QCOMPARE(comm.GetInBufferCount(), std::int16_t(limit));
    QCOMPARE(comm.GetCommEvent(), std::int16_t(CMSComm::comEventRxOver));
    QCOMPARE(comm.GetInput().toByteArray(), sent.first(limit));

    pty.write("after"); // room again once read
    QTRY_COMPARE(comm.GetInBufferCount(), std::int16_t(5));
    QCOMPARE(comm.GetInput().toByteArray(), QByteArray("after"));
}

void TestCMSComm::inputFilters_data()
{
    QTest::addColumn<bool>("nullDiscard");
    QTest::addColumn<bool>("eofEnable");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("event");
    const QByteArray both("a\0b\x1A"
                          "c\0",
                          6);
    QTest::newRow("as received") << false << false << both << both << 0;
    QTest::newRow("NUL dropped") << true << false << both
                                 << QByteArray("ab\x1A"
                                               "c")
                                 << 0;
    QTest::newRow("stops at EOF") << false << true << both << QByteArray("a\0b", 3)
                                  << int(CMSComm::comEvEOF);
    QTest::newRow("both") << true << true << both << QByteArray("ab") << int(CMSComm::comEvEOF);
}

void TestCMSComm::inputFilters()
{
    QFETCH(bool, nullDiscard);
    QFETCH(bool, eofEnable);
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, input);
    QFETCH(int, event);
    Pty pty;
    CMSComm comm;
    comm.SetInputMode(CMSComm::comInputModeBinary);
    comm.SetNullDiscard(nullDiscard);
    comm.SetEOFEnable(eofEnable);
    openOn(comm, pty);
    pty.write(received + "!"); // the marker goes in the same write: seen with the rest
    const QByteArray expected = eofEnable ? input : input + "!";
    QByteArray got;
    QTRY_VERIFY((got += comm.GetInput().toByteArray()).size() >= expected.size() &&
                unreadOnSlave(pty) == 0);
    QCOMPARE(got, expected);
    QCOMPARE(comm.GetCommEvent(), std::int16_t(event));
    if (!eofEnable)
        return;
    comm.SetInBufferCount(0); // emptied: input flows again
    pty.write("d");
    QByteArray more;
    QTRY_VERIFY(!(more += comm.GetInput().toByteArray()).isEmpty());
    QCOMPARE(more, QByteArray("d"));
}

void TestCMSComm::reconnectRestoresLine_data()
{
    QTest::addColumn<bool>("dtr");
    QTest::addColumn<bool>("rts");
    QTest::addColumn<bool>("brk");
    QTest::addColumn<int>("handshaking");
    QTest::addColumn<bool>("changedWhileAway");
    QTest::newRow("DTR and RTS down") << false << false << false << 0 << false;
    QTest::newRow("DTR down while away") << false << true << false << 0 << true;
    QTest::newRow("in break") << true << true << true << 0 << false;
    QTest::newRow("RTS/CTS flow") << true << true << false << 2 << false;
    QTest::newRow("XON/XOFF, RTS down while away") << true << false << false << 1 << true;
}

// The device goes away and comes back: the next open puts the whole line
// back as the properties say, including changes made while it was away.
void TestCMSComm::reconnectRestoresLine()
{
    QFETCH(bool, dtr);
    QFETCH(bool, rts);
    QFETCH(bool, brk);
    QFETCH(int, handshaking);
    QFETCH(bool, changedWhileAway);
    auto line = std::make_shared<FakeLine>();
    CMSComm comm(FakeLine::Maker(line));
    comm.SetPortOpen(true);
    const auto setProperties = [&] {
        comm.SetHandshaking(handshaking);
        comm.SetDTREnable(dtr);
        comm.SetRTSEnable(rts);
        if (brk)
            comm.SetBreak(true);
    };
    if (!changedWhileAway)
        setProperties();

    line->unplug();
    QVERIFY(!expectError(CommErrorCode::Disconnected, [&] { comm.SetOutput("a"); }).isEmpty());
    QVERIFY(!expectError(CommErrorCode::NoSuchDevice, [&] { comm.SetOutput("b"); }).isEmpty());
    if (changedWhileAway)
        setProperties();
    line->plugIn();
    comm.SetOutput("c");

    QCOMPARE(line->opens, 2);
    QCOMPARE(line->sent, QByteArray("c"));
    QCOMPARE(line->dtr, dtr);
    if (handshaking < 2)
        QCOMPARE(line->rts, rts);
    QCOMPARE(line->brk, brk);
    QCOMPARE(line->flow, handshaking == 0   ? SerialDevice::FlowControl::None
                         : handshaking == 1 ? SerialDevice::FlowControl::XonXoff
                                            : SerialDevice::FlowControl::RtsCts);
    QCOMPARE(line->inputLimit, qint64(comm.GetInBufferSize()));
}

void TestCMSComm::closingClearsBreak()
{
    auto line = std::make_shared<FakeLine>();
    CMSComm comm(FakeLine::Maker(line));
    comm.SetPortOpen(true);
    comm.SetBreak(true);
    QVERIFY(line->brk);
    comm.SetPortOpen(false);
    QVERIFY(!comm.GetBreak());
    comm.SetPortOpen(true);
    QVERIFY(!line->brk); // not switched on again behind the writer's back
    comm.SetOutput("a");
    QCOMPARE(line->sent, QByteArray("a"));
}

void TestCMSComm::deviceFailures_data()
{
    QTest::addColumn<bool>("unplugged");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("opensAfter");
    // Lost: reported once, then reopened by the next write.
    QTest::newRow("lost") << true << int(CommErrorCode::Disconnected) << 2;
    QTest::newRow("lost, found on writing") << false << int(CommErrorCode::Disconnected) << 2;
    // A write that fails leaves the line open: nothing is reopened.
    QTest::newRow("write error") << false << int(CommErrorCode::WriteFailed) << 1;
}

void TestCMSComm::deviceFailures()
{
    QFETCH(bool, unplugged);
    QFETCH(int, code);
    QFETCH(int, opensAfter);
    auto line = std::make_shared<FakeLine>();
    CMSComm comm(FakeLine::Maker(line));
    comm.SetPortOpen(true);
    comm.SetOutput("a");
    if (unplugged) {
        line->unplug();
        line->plugIn(); // back before anyone wrote
    } else if (code == int(CommErrorCode::Disconnected)) {
        line->lost = true;
    } else {
        line->failNextWrite = CommErrorCode(code);
    }
    QVERIFY(!expectError(CommErrorCode(code), [&] { comm.SetOutput("b"); }).isEmpty());
    QVERIFY(comm.GetPortOpen());
    comm.SetOutput("c");
    QCOMPARE(line->sent, QByteArray("ac"));
    QCOMPARE(line->opens, opensAfter);
    comm.SetPortOpen(false);
    QVERIFY(!line->open);
}

void TestCMSComm::hangUpDetected_data()
{
    QTest::addColumn<bool>("idle");
    // Nobody writes: the watcher notices and releases the device at once.
    QTest::newRow("while idle") << true;
    // A write right after the hang-up, before any event was handled.
    QTest::newRow("at the next write") << false;
}

// The far end hangs up (a pulled adapter; here the master side closes), which
// a tty reports only as end of file.
void TestCMSComm::hangUpDetected()
{
    QFETCH(bool, idle);
    Pty pty;
    CMSComm comm;
    openOn(comm, pty);
    comm.SetOutput("a");
    QCOMPARE(pty.read(1), QByteArray("a"));
    pty.close();
    if (idle)
        QTRY_COMPARE(comm.GetCommID(), -1); // released without a write
    const QString message = expectError(CommErrorCode::Disconnected, [&] { comm.SetOutput("b"); });
    QVERIFY2(message.endsWith(QStringLiteral("disconnected")), qPrintable(message));
    QCOMPARE(comm.GetCommID(), -1);
    QVERIFY(comm.GetPortOpen());
}

void TestCMSComm::deviceNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("inWorkingFolder");
    QTest::addColumn<bool>("deviceNode"); // the name is the device itself, not a link
    QTest::addColumn<int>("code");        // 0: it opens
    const QByteArray longName = QByteArray(200, 'd') + "/" + QByteArray(120, 'l');
    // Locked by the name of the device the link leads to.
    QTest::newRow("long path") << longName << false << false << 0;
    // No lock file can be named after it: said so, not "in use".
    QTest::newRow("long device name")
        << longName << false << true << int(CommErrorCode::DeviceError);
    QTest::newRow("not UTF-8") << QByteArray("adapter-\xff\xfe") << false << false << 0;
    QTest::newRow("relative path") << QByteArray("./adapter") << true << false << 0;
    // A name without a slash is a device under /dev, whatever the folder holds.
    QTest::newRow("bare name") << QByteArray("adapter") << true << false
                               << int(CommErrorCode::NoSuchDevice);
}

// The name in LUMO_COMn is used exactly as given, bytes and all.
void TestCMSComm::deviceNames()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, inWorkingFolder);
    QFETCH(bool, deviceNode);
    QFETCH(int, code);
    if (deviceNode && ::geteuid() != 0)
        QSKIP("making a device node needs root");
    Pty pty;
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray link = folder + "/" + (name.startsWith("./") ? name.mid(2) : name);
    QDir().mkpath(QFile::decodeName(link.left(link.lastIndexOf('/'))));
    struct stat slave {
    };
    QCOMPARE(::stat(QFile::encodeName(pty.slavePath()).constData(), &slave), 0);
    if (deviceNode)
        QCOMPARE(::mknod(link.constData(), S_IFCHR | 0600, slave.st_rdev), 0);
    else
        QCOMPARE(::symlink(QFile::encodeName(pty.slavePath()).constData(), link.constData()), 0);
    const QString oldFolder = QDir::currentPath();
    if (inWorkingFolder)
        QDir::setCurrent(dir.path());
    auto back = qScopeGuard([&] {
        QDir::setCurrent(oldFolder);
        ::unlink(link.constData()); // QTemporaryDir cannot name it
    });
    qputenv("LUMO_COM1", inWorkingFolder ? name : link);

    CMSComm comm;
    if (code) {
        const QString message = expectError(CommErrorCode(code), [&] { comm.SetPortOpen(true); });
        QVERIFY(!message.isEmpty());
        QVERIFY2(!message.contains(QStringLiteral("in use")), qPrintable(message));
        return;
    }
    comm.SetPortOpen(true);
    comm.SetOutput("n");
    QCOMPARE(pty.read(1), QByteArray("n"));
}

void TestCMSComm::lockFileOfAnother_data()
{
    QTest::addColumn<bool>("ownerRunning");
    QTest::addColumn<QString>("expected");
    QTest::newRow("its program runs") << true << "in use by another program";
    // Left by a program that was killed, in the sticky lock folder: another
    // user cannot remove it, and is told where it is.
    QTest::newRow("its program ended") << false << "was left by a program that has ended";
}

// Another user's lock file names the device. The open runs in a child
// process as "nobody", which may not remove root's file.
void TestCMSComm::lockFileOfAnother()
{
    QFETCH(bool, ownerRunning);
    QFETCH(QString, expected);
    if (::geteuid() != 0)
        QSKIP("acting as another user needs root");
    Pty pty;
    QCOMPARE(::chmod(QFile::encodeName(pty.slavePath()).constData(), 0666), 0);
    const QString lockPath = QStringLiteral("/var/lock/LCK..") +
                             pty.slavePath().mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));
    pid_t owner = ::getpid();
    if (!ownerRunning) { // a process that has ended
        owner = ::fork();
        if (owner == 0)
            ::_exit(0);
        QVERIFY(owner > 0);
        ::waitpid(owner, nullptr, 0);
    }
    QFile lock(lockPath);
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(owner) + "\nlumo\n" + QSysInfo::machineHostName().toUtf8() +
               "\n");
    lock.close();
    auto removeLock = qScopeGuard([&] { QFile::remove(lockPath); });
    qputenv("LUMO_COM1", pty.slavePath().toLocal8Bit());

    int fds[2];
    QCOMPARE(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        QByteArray result = "opened";
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            result = "cannot become nobody";
        try {
            CMSComm comm;
            comm.SetPortOpen(true);
        } catch (const CommError& e) {
            result = e.description().toUtf8();
        }
        (void)!::write(fds[1], result.constData(), size_t(result.size()));
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray message;
    pollfd p{fds[0], POLLIN, 0};
    char buf[512];
    for (ssize_t n = 1; n > 0 && ::poll(&p, 1, 5000) > 0;) {
        n = ::read(fds[0], buf, sizeof buf);
        if (n > 0)
            message.append(buf, n);
    }
    ::close(fds[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    QVERIFY2(message.contains(expected.toUtf8()), message.constData());
    if (!ownerRunning)
        QVERIFY2(message.contains(lockPath.toUtf8()), message.constData());
    QVERIFY(QFile::exists(lockPath)); // not removed behind its owner's back
}

QTEST_GUILESS_MAIN(TestCMSComm)
#include "tst_cmscomm.moc"
