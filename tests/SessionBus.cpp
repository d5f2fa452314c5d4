#include "SessionBus.h"

namespace
{
constexpr int kStartMs = 10000;
}

SessionBus::~SessionBus()
{
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

bool SessionBus::start()
{
    m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(kStartMs)) {
        m_error = m_daemon.errorString();
        return false;
    }
    while (!m_daemon.canReadLine()) {
        if (!m_daemon.waitForReadyRead(kStartMs)) {
            m_error = QStringLiteral("dbus-daemon gave no address: %1")
                          .arg(QString::fromLocal8Bit(m_daemon.readAllStandardError()));
            return false;
        }
    }
    m_address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
    return !m_address.isEmpty();
}
