#include "PyserialServer.h"

#include "StopProcess.h"

#include <QDeadlineTimer>
#include <QStandardPaths>

PyserialServer::PyserialServer(QString devicePath) : m_devicePath(std::move(devicePath)) {}

PyserialServer::~PyserialServer()
{
    StopProcess(m_process);
}

QString PyserialServer::url() const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_port);
}

bool PyserialServer::start()
{
    // Debian's python3-serial belongs to the system's Python.
    QString python =
        QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
    if (python.isEmpty())
        python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) {
        m_error = QStringLiteral("python3 is not installed");
        return false;
    }
    m_process.start(python, {QStringLiteral(RFC2217_SERVER_PY), m_devicePath});
    const QDeadlineTimer deadline(5000);
    while (!m_output.contains('\n')) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            m_error = QStringLiteral("pyserial's server did not start: %1")
                          .arg(QString::fromLocal8Bit(m_process.readAllStandardError()));
            return false;
        }
        m_output += m_process.readAllStandardOutput();
    }
    const qsizetype end = m_output.indexOf('\n');
    m_port = m_output.first(end).trimmed().toUShort();
    m_output.remove(0, end + 1);
    return m_port != 0;
}

QStringList PyserialServer::sessions()
{
    m_process.waitForReadyRead(0);
    m_output += m_process.readAllStandardOutput();
    QStringList lines = QString::fromUtf8(m_output).split(QLatin1Char('\n'));
    lines.removeLast(); // what follows the last line break: not a whole line yet
    return lines;
}
