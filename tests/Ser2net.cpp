#include "Ser2net.h"

#include "StopProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

namespace
{
} // namespace

Ser2net::Ser2net(QString ptyPath) : m_ptyPath(std::move(ptyPath)) {}

Ser2net::~Ser2net()
{
    stop();
}

bool Ser2net::Listening(quint16 port)
{
    return ListeningPorts().contains(port);
}

// Read from the kernel's table, so that no connection disturbs the server.
QSet<quint16> Ser2net::ListeningPorts()
{
    QSet<quint16> ports;
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return ports;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 3 && f[1].startsWith("0100007F:") && f[3] == "0A")
            ports.insert(quint16(f[1].mid(9).toUInt(nullptr, 16)));
    }
    return ports;
}

QString Ser2net::rfc2217Url() const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfc2217Port());
}

QString Ser2net::rawUrl() const
{
    return QStringLiteral("socket://127.0.0.1:%1").arg(rawPort());
}

bool Ser2net::start()
{
    const QString program = QStandardPaths::findExecutable(
        QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    if (program.isEmpty()) {
        m_error = QStringLiteral("ser2net is not installed");
        return false;
    }
    if (!m_dir.isValid() || rfc2217Port() == 0 || rawPort() == 0) {
        m_error = QStringLiteral("no private directory or no free port");
        return false;
    }
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return false;
    }
    const QString connector =
        QStringLiteral("  connector: serialdev,%1,1200n81,local\n").arg(m_ptyPath);
    file.write(QStringLiteral("%YAML 1.1\n---\n"
                              "connection: &rfc2217\n"
                              "  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n%3"
                              "connection: &raw\n"
                              "  accepter: tcp,127.0.0.1,%2\n%3")
                   .arg(rfc2217Port())
                   .arg(rawPort())
                   .arg(connector)
                   .toUtf8());
    file.close();

    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program,
                    {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"), config,
                     QStringLiteral("-P"), m_dir.filePath(QStringLiteral("ser2net.pid"))});
    if (!m_process.waitForStarted(5000)) {
        m_error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(20000);
    while (!(Listening(rfc2217Port()) && Listening(rawPort()))) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            m_error = QStringLiteral("ser2net did not listen: %1")
                          .arg(QString::fromLocal8Bit(m_process.readAll()));
            stop();
            return false;
        }
        QThread::msleep(10);
    }
    return true;
}

void Ser2net::stop()
{
    StopProcess(m_process);
}
