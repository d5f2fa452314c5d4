#include "VirtualPort.h"

#include "ControllerLog.h"
#include "Pty.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

VirtualPort::VirtualPort(QString name, QObject* parent) : QObject(parent), m_name(std::move(name))
{
}

VirtualPort::~VirtualPort()
{
    Close();
}

bool VirtualPort::Open(const QString& linkPath, QString* error)
{
    // Raw until the far side sets the line: no echo, no line editing.
    m_pty = std::make_unique<Pty>();
    if (!m_pty->isValid()) {
        *error = QStringLiteral("openpty: %1").arg(m_pty->error());
        m_pty.reset();
        return false;
    }
    const QByteArray link = QFile::encodeName(linkPath);
    ::unlink(link.constData());
    if (::symlink(QFile::encodeName(m_pty->slavePath()).constData(), link.constData()) != 0) {
        *error =
            QStringLiteral("%1: %2").arg(linkPath, QString::fromLocal8Bit(std::strerror(errno)));
        Close();
        return false;
    }
    m_linkPath = linkPath;
    m_notifier = new QSocketNotifier(m_pty->masterFd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &VirtualPort::readMaster);
    return true;
}

void VirtualPort::Close()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (!m_linkPath.isEmpty())
        ::unlink(QFile::encodeName(m_linkPath).constData());
    m_linkPath.clear();
    m_pty.reset();
}

QString VirtualPort::Settings() const
{
    if (!m_pty)
        return {};
    return ControllerLog::DescribeSettings(m_pty->slaveTermios());
}

// The pair lives on here after its user ends, so the system never resets the
// slave side, and a program killed while it held the line leaves its
// exclusive-use flag set: nobody but root could open the port again. Lumo
// holds an flock on the line before it sets that flag and for as long as it
// keeps it, so the flag without the flock is left over.
bool VirtualPort::ClearAbandonedLock()
{
    if (!m_pty)
        return false;
    const int fd = m_pty->slaveFd();
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) != 0 || !exclusive)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return false; // its holder lives
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    return true;
}

void VirtualPort::readMaster()
{
    unsigned char buffer[256];
    for (;;) {
        const ssize_t n = ::read(m_pty->masterFd(), buffer, sizeof buffer);
        if (n <= 0)
            return; // EAGAIN: all read
        for (ssize_t i = 0; i < n; ++i)
            emit byteReceived(buffer[i]);
    }
}
