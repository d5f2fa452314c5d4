#include "VirtualController.h"

#include "ControllerLog.h"
#include "VirtualPort.h"

#include <QDir>
#include <QFile>
#include <QTime>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// How often the line settings are read back: a change shows within this,
// and always before the first byte sent with it. A port that a killed
// program left locked is free again within the same time.
constexpr int kSettingsPollMs = 100;
} // namespace

VirtualController::VirtualController(QObject* parent) : QObject(parent)
{
    m_settingsPoll.setInterval(kSettingsPollMs);
    connect(&m_settingsPoll, &QTimer::timeout, this, [this] {
        for (qsizetype i = 0; i < qsizetype(m_ports.size()); ++i) {
            if (m_ports[size_t(i)])
                m_ports[size_t(i)]->ClearAbandonedLock();
            checkSettings(m_ports[size_t(i)], i);
        }
    });
}

VirtualController::~VirtualController()
{
    Stop();
}

QString VirtualController::DefaultFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/lumo-vc");
    return {}; // a new one, made by Start
}

bool VirtualController::Start(const QString& folder, QString* error)
{
    const auto failed = [error](const QString& what, int code) {
        *error = tr("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(code)));
        return false;
    };
    if (folder.isEmpty()) {
        // Nobody else can have made it or put anything in it.
        QByteArray pattern =
            QFile::encodeName(QDir::tempPath() + QStringLiteral("/lumo-vc-XXXXXX"));
        if (!::mkdtemp(pattern.data()))
            return failed(QDir::tempPath(), errno);
        m_folder = QFile::decodeName(pattern);
    } else {
        const QByteArray path = QFile::encodeName(folder);
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            return failed(folder, errno);
        if (!isPrivateFolder(folder, error))
            return false;
        m_folder = QDir(folder).absolutePath();
    }
    // One controller per folder: a second one would take the first one's links.
    const QByteArray lockPath = QFile::encodeName(m_folder + QStringLiteral("/.lock"));
    m_lock = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lock < 0)
        return failed(QFile::decodeName(lockPath), errno);
    if (::flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(m_lock);
        m_lock = -1;
        if (code != EWOULDBLOCK)
            return failed(QFile::decodeName(lockPath), code);
        *error = tr("%1 is in use by another controller (choose another with --dir)").arg(m_folder);
        return false;
    }
    for (size_t i = 0; i < m_ports.size(); ++i) {
        auto* port = new VirtualPort(QStringLiteral("COM%1").arg(i + 1), this);
        m_ports[i] = port;
        if (!port->Open(m_folder + u'/' + port->Name(), error)) {
            Stop();
            return false;
        }
        connect(port, &VirtualPort::byteReceived, this,
                [this, port, i](unsigned char byte) { onByte(port, qsizetype(i), byte); });
    }
    print(ControllerLog::Assignments(m_ports[0]->LinkPath(), m_ports[1]->LinkPath()));
    for (size_t i = 0; i < m_ports.size(); ++i)
        checkSettings(m_ports[i], qsizetype(i));
    m_settingsPoll.start();
    return true;
}

void VirtualController::Stop()
{
    m_settingsPoll.stop();
    for (VirtualPort*& port : m_ports) {
        delete port; // removes its link
        port = nullptr;
    }
    if (m_lock >= 0) {
        ::unlink(QFile::encodeName(m_folder + QStringLiteral("/.lock")).constData());
        ::close(m_lock);
        m_lock = -1;
        ::rmdir(QFile::encodeName(m_folder).constData()); // only if empty
    }
}

// Links are removed and made in the folder: it must be a folder of this user
// that nobody else can enter, not a link to one.
bool VirtualController::isPrivateFolder(const QString& folder, QString* error)
{
    struct stat st {
    };
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0) {
        *error = tr("%1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    QString reason;
    if (!S_ISDIR(st.st_mode))
        reason = tr("not a folder");
    else if (st.st_uid != ::getuid())
        reason = tr("owned by user %1, not by you").arg(st.st_uid);
    else if ((st.st_mode & 07777) != 0700)
        reason = tr("mode %1, not 700").arg(st.st_mode & 07777, 3, 8, QChar(u'0'));
    if (reason.isEmpty())
        return true;
    *error = tr("%1: %2 (choose another with --dir)").arg(folder, reason);
    return false;
}

void VirtualController::checkSettings(VirtualPort* port, qsizetype index)
{
    if (!port)
        return;
    const QString settings = port->Settings();
    QString& last = m_settings[size_t(index)];
    if (settings == last)
        return;
    last = settings;
    print(ControllerLog::SettingsLine(QTime::currentTime(), port->Name(), settings));
}

void VirtualController::onByte(VirtualPort* port, qsizetype index, unsigned char byte)
{
    checkSettings(port, index);
    print(ControllerLog::ByteLine(QTime::currentTime(), port->Name(), byte));
}

void VirtualController::print(const QString& line)
{
    const QByteArray bytes = (line + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}
