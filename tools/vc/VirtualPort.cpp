#include "VirtualPort.h"

#include "ControllerLog.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
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
    char slaveName[256] = {};
    if (::openpty(&m_master, &m_slave, slaveName, nullptr, nullptr) != 0) {
        *error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        m_master = m_slave = -1;
        return false;
    }
    // Raw until the far side sets the line: no echo, no line editing.
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    const QByteArray link = QFile::encodeName(linkPath);
    ::unlink(link.constData());
    if (::symlink(slaveName, link.constData()) != 0) {
        *error =
            QStringLiteral("%1: %2").arg(linkPath, QString::fromLocal8Bit(std::strerror(errno)));
        Close();
        return false;
    }
    m_linkPath = linkPath;
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
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
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_master = m_slave = -1;
}

QString VirtualPort::Settings() const
{
    termios t{};
    if (m_master < 0 || ::tcgetattr(m_master, &t) != 0)
        return {};
    return ControllerLog::DescribeSettings(t);
}

void VirtualPort::readMaster()
{
    unsigned char buffer[256];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            return; // EAGAIN: all read
        for (ssize_t i = 0; i < n; ++i)
            emit byteReceived(buffer[i]);
    }
}
