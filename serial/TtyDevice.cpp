#include "serial/TtyDevice.h"

#include "serial/CommError.h"

#include <QDir>
#include <QFile>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace
{
// How long one write may wait for the driver to take the bytes. A byte at
// 110 baud takes 100 ms; anything near this limit means flow control holds
// the line or the device hangs.
constexpr int kWriteTimeoutMs = 3000;

QSerialPort::Parity toQt(char parity)
{
    switch (parity) {
    case 'e':
        return QSerialPort::EvenParity;
    case 'o':
        return QSerialPort::OddParity;
    case 'm':
        return QSerialPort::MarkParity;
    case 's':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits toQt(SerialSettings::StopBits stop)
{
    switch (stop) {
    case SerialSettings::StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case SerialSettings::StopBits::Two:
        return QSerialPort::TwoStop;
    default:
        return QSerialPort::OneStop;
    }
}

#ifdef Q_OS_UNIX
// Some drivers accept a setting and silently drop it (a pseudo-terminal has
// no parity, for one). Reads back what the line really uses.
bool driverTookFraming(int fd, const SerialSettings& s)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return false;
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if ((t.c_cflag & CSIZE) != sizes[s.dataBits - 5])
        return false;
    if (bool(t.c_cflag & CSTOPB) != (s.stopBits == SerialSettings::StopBits::Two))
        return false;
    if (bool(t.c_cflag & PARENB) != (s.parity != 'n'))
        return false;
    if (s.parity != 'n') {
        const bool odd = s.parity == 'o' || s.parity == 'm';
        if (bool(t.c_cflag & PARODD) != odd)
            return false;
#ifdef CMSPAR
        if (bool(t.c_cflag & CMSPAR) != (s.parity == 'm' || s.parity == 's'))
            return false;
#endif
    }
    return true;
}
#endif

QSerialPort::FlowControl toQt(SerialDevice::FlowControl flow)
{
    switch (flow) {
    case SerialDevice::FlowControl::XonXoff:
        return QSerialPort::SoftwareControl;
    case SerialDevice::FlowControl::RtsCts:
        return QSerialPort::HardwareControl;
    default:
        return QSerialPort::NoFlowControl;
    }
}
} // namespace

TtyDevice::TtyDevice(QString portLabel, QString path)
    : m_label(QStringLiteral("%1 (%2)").arg(portLabel, path)), m_path(std::move(path))
{
    m_port.setPortName(m_path);
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError e) { onPortError(e); });
}

TtyDevice::~TtyDevice()
{
    Close();
}

void TtyDevice::fail(CommErrorCode code, const QString& reason) const
{
    throw CommError(code, QStringLiteral("%1: %2").arg(m_label, reason));
}

// Releases a device that went away, keeps the line wanted so that a later
// write reopens it, and tells the writer.
void TtyDevice::failDisconnected()
{
    Close();
    m_wanted = true;
    fail(CommErrorCode::Disconnected, QStringLiteral("disconnected"));
}

// Refuses, before anything is opened, what cannot be a serial line: a missing
// path, a regular file, a directory, a device the user may not use.
void TtyDevice::checkPath() const
{
#ifdef Q_OS_UNIX
    struct stat st {
    };
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            fail(CommErrorCode::NoSuchDevice, QStringLiteral("no such device"));
        fail(CommErrorCode::DeviceError, QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (!S_ISCHR(st.st_mode))
        fail(CommErrorCode::NotASerialDevice, QStringLiteral("not a serial device"));
    if (::access(QFile::encodeName(m_path).constData(), R_OK | W_OK) != 0) {
        const group* g = ::getgrgid(st.st_gid);
        QString reason = QStringLiteral("permission denied");
        if (g && std::strcmp(g->gr_name, "root") != 0)
            reason += QStringLiteral(" (join the group \"%1\" and log in again)")
                          .arg(QString::fromLocal8Bit(g->gr_name));
        fail(CommErrorCode::PermissionDenied, reason);
    }
#endif
}

// Holds the device itself, whatever name it was reached by: Qt's lock file is
// named after the path, and root is not stopped by TIOCEXCL.
void TtyDevice::lockExclusively()
{
#ifdef Q_OS_UNIX
    const int fd = int(m_port.handle());
    if (!::isatty(fd)) {
        m_port.close();
        fail(CommErrorCode::NotASerialDevice, QStringLiteral("not a serial device"));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        m_port.close();
        fail(CommErrorCode::PortBusy, QStringLiteral("in use by another program"));
    }
#else
    // Windows's own serial driver refuses a second opener, but virtual port
    // drivers and Wine may not: a lock per port name ("COM10" however it was
    // written), held while the port is open. A crashed holder's lock is stale.
    const QString name = m_port.portName().toUpper();
    m_lock = std::make_unique<QLockFile>(
        QDir::temp().filePath(QStringLiteral("lumo-%1.lock").arg(name)));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        m_port.close();
        fail(CommErrorCode::PortBusy, QStringLiteral("in use by another program"));
    }
#endif
}

void TtyDevice::Open(const SerialSettings& settings)
{
    if (m_port.isOpen())
        fail(CommErrorCode::PortAlreadyOpen, QStringLiteral("the port is already open"));
    checkPath();
    if (!m_port.open(QIODevice::ReadWrite)) {
        const auto error = m_port.error();
        const QString detail = m_port.errorString();
        m_port.clearError();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            fail(CommErrorCode::NoSuchDevice, QStringLiteral("no such device"));
        case QSerialPort::PermissionError:
            // The path is accessible (checked above), so the lock or the
            // driver says someone else has it.
            fail(CommErrorCode::PortBusy, QStringLiteral("in use by another program"));
        default:
            fail(CommErrorCode::NotASerialDevice,
                 QStringLiteral("cannot be opened as a serial line (%1)").arg(detail));
        }
    }
    lockExclusively();
    try {
        applyToPort(settings);
    } catch (...) {
        m_port.close();
        m_lock.reset();
        throw;
    }
    m_port.setFlowControl(toQt(m_flow));
    m_port.clearError();
    m_settings = settings;
    m_wanted = true;
    m_lost = false;
    watchForHangUp();
}

void TtyDevice::Close() noexcept
{
    m_wanted = false;
    m_lost = false;
    stopWatching();
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
    m_lock.reset();
}

// Applies all four values or, when the driver refuses one, puts back the
// ones already changed.
void TtyDevice::applyToPort(const SerialSettings& s)
{
    if (s.dataBits < 5)
        fail(CommErrorCode::SettingsNotSupported,
             QStringLiteral("the device cannot use %1 data bits").arg(s.dataBits));
#ifndef Q_OS_WIN
    if (s.stopBits == SerialSettings::StopBits::OneAndHalf)
        fail(CommErrorCode::SettingsNotSupported,
             QStringLiteral("the device cannot use 1.5 stop bits"));
#endif
    const qint32 oldBaud = m_port.baudRate();
    const auto oldParity = m_port.parity();
    const auto oldData = m_port.dataBits();
    const auto oldStop = m_port.stopBits();

    QString refused;
    if (!m_port.setBaudRate(s.baudRate))
        refused = QStringLiteral("%1 baud").arg(s.baudRate);
    else if (!m_port.setParity(toQt(s.parity)))
        refused = QStringLiteral("parity \"%1\"").arg(QLatin1Char(s.parity));
    else if (!m_port.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)))
        refused = QStringLiteral("%1 data bits").arg(s.dataBits);
    else if (!m_port.setStopBits(toQt(s.stopBits)))
        refused = QStringLiteral("these stop bits");
    QString detail = m_port.errorString();
#ifdef Q_OS_UNIX
    if (refused.isEmpty() && !driverTookFraming(int(m_port.handle()), s)) {
        refused = QStringLiteral("parity \"%1\" with %2 data bits")
                      .arg(QLatin1Char(s.parity))
                      .arg(s.dataBits);
        detail = QStringLiteral("the driver does not keep it");
    }
#endif
    if (refused.isEmpty())
        return;

    m_port.setBaudRate(oldBaud);
    m_port.setParity(oldParity);
    m_port.setDataBits(oldData);
    m_port.setStopBits(oldStop);
    m_port.clearError();
    fail(CommErrorCode::SettingsNotSupported,
         QStringLiteral("the device cannot use %1 (%2)").arg(refused, detail));
}

void TtyDevice::ApplySettings(const SerialSettings& settings)
{
    if (m_port.isOpen())
        applyToPort(settings);
    m_settings = settings;
}

void TtyDevice::Write(QByteArrayView data)
{
    if (m_lost || hungUp())
        failDisconnected();
    if (!m_port.isOpen()) {
        if (!m_wanted)
            fail(CommErrorCode::PortNotOpen, QStringLiteral("the port is not open"));
        Open(m_settings); // back after a loss
    }
    if (data.isEmpty())
        return;

    if (m_port.write(data.data(), data.size()) != data.size()) {
        m_port.clear(QSerialPort::Output);
        m_port.clearError();
        fail(CommErrorCode::WriteFailed, QStringLiteral("cannot write"));
    }
    // QSerialPort only queues; push the queue into the driver now, so that
    // nothing waits for an event loop and nothing is dropped by a close.
    while (m_port.bytesToWrite() > 0) {
        if (m_port.waitForBytesWritten(kWriteTimeoutMs) || m_port.bytesToWrite() == 0)
            continue;
        const bool gone = m_lost || m_port.error() == QSerialPort::ResourceError || hungUp();
        m_port.clear(QSerialPort::Output);
        m_port.clearError();
        if (gone)
            failDisconnected();
        fail(CommErrorCode::WriteFailed, QStringLiteral("the device does not take the data"));
    }
    m_port.clearError(); // waitForBytesWritten may leave a stale timeout behind
}

// Moves what the driver holds into QSerialPort's buffer without waiting.
void TtyDevice::takeArrivedData()
{
    if (!m_port.isOpen())
        return;
    while (m_port.waitForReadyRead(0)) {
    }
    m_port.clearError();
}

QByteArray TtyDevice::Read(qint64 maxSize)
{
    takeArrivedData();
    if (!m_port.isOpen())
        return {};
    return maxSize > 0 ? m_port.read(maxSize) : m_port.readAll();
}

qint64 TtyDevice::BytesAvailable()
{
    takeArrivedData();
    return m_port.isOpen() ? m_port.bytesAvailable() : 0;
}

void TtyDevice::ClearInput()
{
    if (!m_port.isOpen())
        return;
    m_port.clear(QSerialPort::Input); // input only: pending output stays
    m_port.readAll();
    m_port.clearError();
}

void TtyDevice::SetDtr(bool on)
{
    if (m_port.isOpen())
        m_port.setDataTerminalReady(on);
    m_port.clearError();
}

void TtyDevice::SetRts(bool on)
{
    if (m_port.isOpen() && m_port.flowControl() != QSerialPort::HardwareControl)
        m_port.setRequestToSend(on);
    m_port.clearError();
}

void TtyDevice::SetBreak(bool on)
{
    if (m_port.isOpen())
        m_port.setBreakEnabled(on);
    m_port.clearError();
}

void TtyDevice::SetFlowControl(FlowControl flow)
{
    m_flow = flow;
    if (m_port.isOpen())
        m_port.setFlowControl(toQt(flow));
    m_port.clearError();
}

SerialDevice::ModemLines TtyDevice::ReadModemLines()
{
    if (!m_port.isOpen())
        return {};
    const auto lines = m_port.pinoutSignals();
    m_port.clearError();
    return {lines.testFlag(QSerialPort::DataCarrierDetectSignal),
            lines.testFlag(QSerialPort::ClearToSendSignal),
            lines.testFlag(QSerialPort::DataSetReadySignal)};
}

qintptr TtyDevice::Handle() const
{
    // A descriptor on Unix, a HANDLE (a pointer) on Windows.
    return m_port.isOpen() ? qintptr(m_port.handle()) : -1;
}

void TtyDevice::onPortError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError || !m_port.isOpen())
        return;
    // Closing the port from inside its own notification is not safe.
    QTimer::singleShot(0, &m_port, [this] { markLost(); });
}

// The device is gone (an adapter pulled out, the far end of a pseudo-terminal
// closed). Release it now, so that the system can give the returning device
// its old name and no notifier spins on the dead descriptor; the next writer
// is told.
void TtyDevice::markLost()
{
    if (!m_port.isOpen())
        return;
    m_lost = true;
#ifdef Q_OS_UNIX
    if (m_watch) { // may be the caller: let it go after this call
        m_watch->setEnabled(false);
        m_watch.release()->deleteLater();
        ::close(m_watchFd);
        m_watchFd = -1;
    }
#endif
    m_port.close();
    m_port.clearError();
    m_lock.reset();
}

bool TtyDevice::hungUp() const
{
#ifdef Q_OS_UNIX
    if (!m_port.isOpen())
        return false;
    pollfd p{int(m_port.handle()), POLLOUT, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
#else
    return false;
#endif
}

void TtyDevice::watchForHangUp()
{
#ifdef Q_OS_UNIX
    stopWatching();
    m_watchFd = ::fcntl(int(m_port.handle()), F_DUPFD_CLOEXEC, 0);
    if (m_watchFd < 0)
        return;
    m_watch = std::make_unique<QSocketNotifier>(m_watchFd, QSocketNotifier::Read);
    QObject::connect(m_watch.get(), &QSocketNotifier::activated, &m_port, [this] {
        if (hungUp())
            markLost();
    });
#endif
}

void TtyDevice::stopWatching()
{
#ifdef Q_OS_UNIX
    m_watch.reset();
    if (m_watchFd >= 0)
        ::close(m_watchFd);
    m_watchFd = -1;
#endif
}
