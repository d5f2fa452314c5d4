#include "serial/TtyDevice.h"

#include "serial/CommError.h"
#include "serial/InputLimit.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#ifdef Q_OS_UNIX
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <windows.h>
#endif

namespace
{
// How long one write may wait for the driver to take the bytes. A byte at
// 110 baud takes 100 ms; anything near this limit means flow control holds
// the line or the device hangs.
constexpr int kWriteTimeoutMs = 3000;
// What was written leaves the driver within this long, or Drain() says so.
constexpr int kDrainMs = 2000;

#ifdef Q_OS_WIN
// How long opening a port may take. On Linux an open never waits (the port
// is opened non-blocking and set up at once). On Windows a driver may hold
// the caller: a Bluetooth serial port connects to its device while being
// opened, and Wine on a host serial port never returns from the first wait
// for line events that QSerialPort starts as it opens.
constexpr int kOpenTimeoutMs = 3000;

// Whether `device` opens and takes a wait for line events, as QSerialPort
// will, within kOpenTimeoutMs. The trial runs on a thread of its own; when
// it is late it is left to finish and close the port by itself.
bool opensInTime(const QString& device)
{
    struct Trial {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
    };
    const auto trial = std::make_shared<Trial>();
    const QString prefix = QStringLiteral("\\\\.\\");
    const std::wstring name = (device.startsWith(prefix) ? device : prefix + device).toStdWString();
    try {
        std::thread([trial, name] {
            const HANDLE port =
                ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
            if (port != INVALID_HANDLE_VALUE) {
                OVERLAPPED wait = {};
                wait.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
                DWORD events = 0;
                if (wait.hEvent && ::SetCommMask(port, EV_RXCHAR) &&
                    !::WaitCommEvent(port, &events, &wait) &&
                    ::GetLastError() == ERROR_IO_PENDING) {
                    ::CancelIo(port);
                    DWORD ignored = 0;
                    ::GetOverlappedResult(port, &wait, &ignored, TRUE);
                }
                if (wait.hEvent)
                    ::CloseHandle(wait.hEvent);
                ::CloseHandle(port);
            }
            const std::lock_guard lock(trial->mutex);
            trial->done = true;
            trial->ended.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return true; // no thread to try it on: open it as before
    }
    std::unique_lock lock(trial->mutex);
    return trial->ended.wait_for(lock, std::chrono::milliseconds(kOpenTimeoutMs),
                                 [&] { return trial->done; });
}
#endif

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

#ifdef Q_OS_UNIX
QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The name Qt gives the device's lock file: "LCK..pts_3" for /dev/pts/3.
QString lockFileName(const QString& device)
{
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    return QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
}

// Where the device's lock file is when one exists, else empty.
QString existingLockFile(const QString& device)
{
    for (const char* folder : {"/var/lock", "/run/lock", "/etc/locks", "/var/spool/locks",
                               "/var/spool/uucp", "/tmp", "/var/tmp"}) {
        const QString path = QLatin1String(folder) + QLatin1Char('/') + lockFileName(device);
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

// The process a lock file names, or 0.
qint64 lockOwner(const QString& lockFile)
{
    QFile f(lockFile);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const qint64 pid = f.readLine(32).trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

// Whether the process a lock file names has ended.
bool lockIsStale(const QString& lockFile)
{
    const qint64 pid = lockOwner(lockFile);
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
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
    : m_portLabel(std::move(portLabel)), m_path(std::move(path))
{
    m_name = m_path;
#ifdef Q_OS_UNIX
    // One rule for the checks and the open: a bare name is a device under
    // /dev, as QSerialPort takes it; anything else is a path.
    m_path = m_path.contains(QLatin1Char('/')) ? QFileInfo(m_path).absoluteFilePath()
                                               : QStringLiteral("/dev/") + m_path;
#endif
    updateLabel();
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError e) { onPortError(e); });
    QObject::connect(&m_port, &QSerialPort::readyRead, &m_port, [this] { keepArrived(); });
}

TtyDevice::~TtyDevice()
{
    Close();
}

// Messages name the device a link leads to now: "COM2 (/dev/ttyUSB0)".
void TtyDevice::updateLabel()
{
    QString shown = m_name;
#ifdef Q_OS_UNIX
    if (const QString device = QFileInfo(m_path).canonicalFilePath(); !device.isEmpty())
        shown = device;
#endif
    m_label = CommError::Where(m_portLabel, shown);
}

void TtyDevice::fail(CommErrorCode code, const QString& reason) const
{
    throw CommError(code, QStringLiteral("%1: %2").arg(
                              m_label, reason.isEmpty() ? CommError::Reason(code) : reason));
}

// Releases a device that went away and tells the writer; the owner opens it
// again when it wants the line back.
void TtyDevice::reportLoss()
{
    Close();
    fail(CommErrorCode::Disconnected);
}

// Refuses, before anything is opened, what cannot be a serial line: a missing
// path, a regular file, a directory, the pseudo-terminal multiplexer, a
// device the user may not use. Returns the device the path leads to: the
// device is locked by that name, whatever link reached it.
QString TtyDevice::checkPath() const
{
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(m_path);
    struct stat st {
    };
    if (::stat(path.constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            fail(CommErrorCode::NoSuchDevice);
        fail(CommErrorCode::DeviceError, systemError(errno));
    }
    if (!S_ISCHR(st.st_mode))
        fail(CommErrorCode::NotASerialDevice);
    // Linux's /dev/ptmx makes a new, unconnected pseudo-terminal per open.
    if (major(st.st_rdev) == 5 && minor(st.st_rdev) == 2)
        fail(CommErrorCode::NotASerialDevice,
             tr("not a serial line (it makes a new pseudo-terminal at every open)"));
    if (::access(path.constData(), R_OK | W_OK) != 0) {
        const group* g = ::getgrgid(st.st_gid);
        QString reason = CommError::Reason(CommErrorCode::PermissionDenied);
        // Joining the group helps only where the group may read and write.
        const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
        if (g && groupMayUse && std::strcmp(g->gr_name, "root") != 0)
            reason = tr("permission denied (join the group \"%1\" and log in again)")
                         .arg(QString::fromLocal8Bit(g->gr_name));
        fail(CommErrorCode::PermissionDenied, reason);
    }
    QString device = m_path;
    if (char* real = ::realpath(path.constData(), nullptr)) {
        device = QFile::decodeName(real);
        std::free(real);
    }
    const qsizetype lockNameBytes = QFile::encodeName(lockFileName(device)).size();
    if (lockNameBytes > NAME_MAX)
        fail(CommErrorCode::DeviceError,
             tr("the device's path is too long: its lock file name would have %1 bytes, the "
                "system allows %2")
                 .arg(lockNameBytes)
                 .arg(NAME_MAX));
    return device;
#else
    return m_path;
#endif
}

// Holds the device itself, whatever name it was reached by, with locks the
// kernel drops when this process ends, however it ends: an flock on a
// descriptor of our own, taken before the port sets its exclusive flag, so
// that whoever sees that flag without the flock knows its holder has gone
// (the virtual controller clears it then). Another program may hold the
// device with TIOCEXCL alone (no flock): the system refuses everyone but root
// then, and root is refused here too, rather than writing into someone
// else's line.
void TtyDevice::holdDevice(const QString& device)
{
#ifdef Q_OS_UNIX
    m_holdFd =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (m_holdFd < 0) {
        if (errno == EBUSY)
            fail(CommErrorCode::PortBusy);
        return; // the port's own open reports what is wrong
    }
    int exclusive = 0;
#ifdef TIOCGEXCL
    if (::ioctl(m_holdFd, TIOCGEXCL, &exclusive) != 0)
        exclusive = 0;
#endif
    if (::flock(m_holdFd, LOCK_EX | LOCK_NB) != 0 || exclusive) {
        releaseHold();
        fail(CommErrorCode::PortBusy);
    }
#else
    // Windows's own serial driver refuses a second opener, but virtual port
    // drivers and Wine may not: a named object per port ("COM10" however it
    // was written), for every session and user. It exists while a holder's
    // handle does, so the system removes it with a holder that ends.
    Q_UNUSED(device);
    const QString name = QStringLiteral("Global\\lumo-port-%1").arg(m_port.portName().toUpper());
    m_holdHandle = ::CreateMutexW(nullptr, FALSE, reinterpret_cast<LPCWSTR>(name.utf16()));
    if (!m_holdHandle || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        releaseHold(); // another user's (access denied) or another program's
        fail(CommErrorCode::PortBusy);
    }
#endif
}

void TtyDevice::releaseHold() noexcept
{
#ifdef Q_OS_UNIX
    if (m_holdFd >= 0)
        ::close(m_holdFd);
    m_holdFd = -1;
#else
    if (m_holdHandle)
        ::CloseHandle(m_holdHandle);
    m_holdHandle = nullptr;
#endif
}

// QSerialPort also writes a lock file into the system's lock folder. It is
// the one part of the lock that outlives a killed process, and the folder is
// sticky: nobody but its owner could remove it. The kernel's locks above
// hold the device, so the file goes as soon as the port is open, and comes
// back empty only for the moment the port takes to close (QSerialPort
// removes it then, and warns when it cannot).
void TtyDevice::removeLockFile(const QString& device)
{
#ifdef Q_OS_UNIX
    const QString lockFile = existingLockFile(device);
    if (!lockFile.isEmpty() && lockOwner(lockFile) == qint64(::getpid()) &&
        QFile::remove(lockFile))
        m_removedLockFile = lockFile;
#else
    Q_UNUSED(device);
#endif
}

// QSerialPort could not take its lock file. Either a running program holds
// it, or a program that ended left it behind where this user cannot remove
// it (the lock folder is sticky): say which.
void TtyDevice::failLocked(const QString& device) const
{
#ifdef Q_OS_UNIX
    const QString lockFile = existingLockFile(device);
    if (!lockFile.isEmpty() && lockIsStale(lockFile))
        fail(CommErrorCode::PortBusy,
             tr("the lock file %1 was left by a program that has ended, and this user cannot "
                "remove it; remove it as its owner or as an administrator")
                 .arg(lockFile));
#else
    Q_UNUSED(device);
#endif
    fail(CommErrorCode::PortBusy);
}

void TtyDevice::Open(const SerialSettings& settings)
{
    if (m_state != State::Closed)
        fail(CommErrorCode::PortAlreadyOpen);
    updateLabel();
    const QString device = checkPath();
#ifdef Q_OS_WIN
    if (!opensInTime(device))
        fail(CommErrorCode::DeviceError, tr("the device does not answer: opening it took longer "
                                            "than %1 s")
                                             .arg(kOpenTimeoutMs / 1000));
#endif
    m_port.setPortName(device);
    holdDevice(device);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const auto error = m_port.error();
        const QString detail = m_port.errorString();
        m_port.clearError();
        releaseHold();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            fail(CommErrorCode::NoSuchDevice);
        case QSerialPort::PermissionError:
            // The path is accessible (checked above), so the lock or the
            // driver says someone else has it.
            failLocked(device);
        default:
            fail(CommErrorCode::NotASerialDevice,
                 tr("cannot be opened as a serial line (%1)").arg(detail));
        }
    }
    removeLockFile(device);
#ifdef Q_OS_UNIX
    if (!::isatty(int(m_port.handle()))) {
        releasePort();
        fail(CommErrorCode::NotASerialDevice);
    }
#endif
    try {
        applyToPort(settings);
    } catch (...) {
        releasePort();
        throw;
    }
    m_settings = settings;
    m_input.Reset();
    m_state = State::Open;
    applyLines();
    watchForHangUp();
}

// Closes the port so that nothing holds the device any more: the exclusive
// flag first, then the flock (gone with our descriptor).
void TtyDevice::releasePort() noexcept
{
    if (m_port.isOpen()) {
#if defined(Q_OS_UNIX) && defined(TIOCNXCL)
        ::ioctl(int(m_port.handle()), TIOCNXCL);
#endif
        if (!m_removedLockFile.isEmpty())
            QFile(m_removedLockFile).open(QIODevice::NewOnly);
        m_removedLockFile.clear();
        m_port.close();
    }
    releaseHold();
}

// Puts the control lines back as the owner last set them.
void TtyDevice::applyLines()
{
    m_port.setFlowControl(toQt(m_flow));
    m_port.setDataTerminalReady(m_dtr);
    if (m_flow != FlowControl::RtsCts)
        m_port.setRequestToSend(m_rts);
    if (m_break)
        m_port.setBreakEnabled(true);
    m_port.clearError();
}

// Leaves nothing behind: no break on the line, no exclusive flag, no flock.
void TtyDevice::Close() noexcept
{
    stopWatching();
    if (m_port.isOpen() && m_break)
        m_port.setBreakEnabled(false);
    releasePort();
    m_break = false;
    m_state = State::Closed;
    m_input.Reset();
    m_port.clearError();
}
// Applies all four values or, when the driver refuses one, puts back the
// ones already changed.
void TtyDevice::applyToPort(const SerialSettings& s)
{
    if (s.dataBits < 5)
        fail(CommErrorCode::SettingsNotSupported, CommError::CannotUseDataBits(s.dataBits));
#ifndef Q_OS_WIN
    if (s.stopBits == SerialSettings::StopBits::OneAndHalf)
        fail(CommErrorCode::SettingsNotSupported, tr("the device cannot use 1.5 stop bits"));
#endif
    const qint32 oldBaud = m_port.baudRate();
    const auto oldParity = m_port.parity();
    const auto oldData = m_port.dataBits();
    const auto oldStop = m_port.stopBits();

    QString refused;
    if (!m_port.setBaudRate(s.baudRate))
        refused = CommError::Baud(s.baudRate);
    else if (!m_port.setParity(toQt(s.parity)))
        refused = CommError::Parity(QLatin1Char(s.parity));
    else if (!m_port.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)))
        refused = CommError::DataBits(s.dataBits);
    else if (!m_port.setStopBits(toQt(s.stopBits)))
        refused = tr("these stop bits");
    QString detail = m_port.errorString();
#ifdef Q_OS_UNIX
    if (refused.isEmpty() && !driverTookFraming(int(m_port.handle()), s)) {
        refused = tr("parity \"%1\" with %2 data bits").arg(QLatin1Char(s.parity)).arg(s.dataBits);
        detail = tr("the driver does not keep it");
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
         tr("the device cannot use %1 (%2)").arg(refused, detail));
}

void TtyDevice::ApplySettings(const SerialSettings& settings)
{
    if (m_state == State::Open)
        applyToPort(settings);
    m_settings = settings;
}

void TtyDevice::Write(QByteArrayView data)
{
    if (m_state == State::Closed)
        fail(CommErrorCode::PortNotOpen);
    if (m_state == State::Lost || hungUp())
        reportLoss();
    if (!data.isEmpty())
        writeAll(data);
}

void TtyDevice::Drain()
{
#ifdef Q_OS_UNIX
    if (m_state != State::Open)
        return;
    const int fd = int(m_port.handle());
    const QDeadlineTimer deadline(kDrainMs);
    int queued = 0;
    while (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        if (deadline.hasExpired())
            fail(CommErrorCode::WriteFailed,
                 tr("the device did not send what was written within %1 s; it may not have "
                    "gone out")
                     .arg(kDrainMs / 1000));
        ::poll(nullptr, 0, 1); // a byte takes about 1 ms at 9600 baud
    }
#endif
}

// Hands every byte to the driver. Bytes the driver took stay with it
// whatever happens next: a write that cannot finish drops only the rest of
// its own data and says how much of it went out.
void TtyDevice::writeAll(QByteArrayView data)
{
#ifdef Q_OS_UNIX
    const int fd = int(m_port.handle()); // non-blocking, as QSerialPort opens it
    qsizetype done = 0;
    QDeadlineTimer deadline(kWriteTimeoutMs);
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, std::size_t(data.size() - done));
        if (n > 0) {
            done += n;
            deadline.setRemainingTime(kWriteTimeoutMs); // it moves: wait afresh
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            fail(CommErrorCode::WriteFailed, tr("cannot write (%1); %2 of the %3 bytes went out")
                                                 .arg(systemError(errno))
                                                 .arg(done)
                                                 .arg(data.size()));
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, int(deadline.remainingTime())) == 0 || deadline.hasExpired())
            fail(CommErrorCode::WriteFailed,
                 tr("the device does not take the data; %1 of the %2 bytes went out, the rest "
                    "was dropped")
                     .arg(done)
                     .arg(data.size()));
    }
#else
    if (m_port.write(data.data(), data.size()) != data.size())
        fail(CommErrorCode::WriteFailed, tr("cannot write"));
    while (m_port.bytesToWrite() > 0 && m_port.waitForBytesWritten(kWriteTimeoutMs)) {
    }
    m_port.clearError();
    if (m_port.bytesToWrite() > 0)
        fail(CommErrorCode::WriteFailed, tr("the device does not take the data"));
#endif
}

// Lets QSerialPort take what the driver holds, without waiting; keepArrived
// moves it into the bounded buffer.
void TtyDevice::takeArrivedData()
{
    if (m_state != State::Open)
        return;
    while (m_port.waitForReadyRead(0)) {
    }
    keepArrived();
    m_port.clearError();
}

// Moves what QSerialPort read into the input buffer, up to the limit; the
// newest bytes beyond it are dropped and the overrun remembered.
void TtyDevice::keepArrived()
{
    m_input.Append(m_port.readAll());
}

QByteArray TtyDevice::Read(qint64 maxSize)
{
    takeArrivedData();
    return m_input.Take(maxSize);
}

qint64 TtyDevice::BytesAvailable()
{
    takeArrivedData();
    return m_input.Size();
}

void TtyDevice::ClearInput()
{
    if (m_state == State::Open) {
        m_port.clear(QSerialPort::Input); // input only: pending output stays
        m_port.readAll();
        m_port.clearError();
    }
    m_input.Clear();
}

void TtyDevice::SetDtr(bool on)
{
    m_dtr = on;
    if (m_state == State::Open)
        m_port.setDataTerminalReady(on);
    m_port.clearError();
}

void TtyDevice::SetRts(bool on)
{
    m_rts = on;
    if (m_state == State::Open && m_flow != FlowControl::RtsCts)
        m_port.setRequestToSend(on);
    m_port.clearError();
}

void TtyDevice::SetBreak(bool on)
{
    m_break = on;
    if (m_state == State::Open)
        m_port.setBreakEnabled(on);
    m_port.clearError();
}

void TtyDevice::SetFlowControl(FlowControl flow)
{
    m_flow = flow;
    if (m_state == State::Open)
        m_port.setFlowControl(toQt(flow));
    m_port.clearError();
}

SerialDevice::ModemLines TtyDevice::ReadModemLines()
{
    if (m_state != State::Open)
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
    return m_state == State::Open ? qintptr(m_port.handle()) : -1;
}

void TtyDevice::onPortError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError || m_state != State::Open)
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
    if (m_state != State::Open)
        return;
    stopWatching();
    releasePort();
    m_port.clearError();
    m_state = State::Lost;
}

bool TtyDevice::hungUp() const
{
#ifdef Q_OS_UNIX
    if (m_state != State::Open)
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
        if (!hungUp())
            return;
        m_watch->setEnabled(false); // released below, outside its own signal
        QTimer::singleShot(0, &m_port, [this] {
            if (hungUp()) // still this open's hang-up, not a later open's line
                markLost();
        });
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
