#include "WinePrefix.h"

#include <QFile>

WinePrefix::WinePrefix(const QProcessEnvironment& display) : m_env(display)
{
    // The Windows Qt picks its own platform plugin.
    m_env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_env.insert(QStringLiteral("WINEPREFIX"), m_dir.path());
    m_env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    // No Mono or Gecko prompts; no menu entries on this machine's desktop.
    m_env.insert(QStringLiteral("WINEDLLOVERRIDES"),
                 QStringLiteral("mscoree,mshtml=;winemenubuilder.exe=d"));
    // The program's warnings reach our log rather than a debugger.
    m_env.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
}

WinePrefix::~WinePrefix()
{
    stopServer();
}

bool WinePrefix::create()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder for the prefix");
        return false;
    }
    if (!QFile::exists(wine())) {
        m_error = wine() + QStringLiteral(" is not installed (Debian package wine64)");
        return false;
    }
    if (!run({QStringLiteral("wineboot"), QStringLiteral("-i")}) ||
        !QFile::exists(driveC() + QStringLiteral("/windows/system32"))) {
        m_error = QStringLiteral("wineboot could not make a prefix: ") + m_error;
        return false;
    }
    return true;
}

bool WinePrefix::setValue(const QString& key, const QString& name, const QString& type,
                          const QString& data)
{
    return run({QStringLiteral("reg"), QStringLiteral("add"), key, QStringLiteral("/v"), name,
                QStringLiteral("/t"), type, QStringLiteral("/d"), data, QStringLiteral("/f")});
}

bool WinePrefix::removeValue(const QString& key, const QString& name)
{
    return run({QStringLiteral("reg"), QStringLiteral("delete"), key, QStringLiteral("/v"), name,
                QStringLiteral("/f")});
}

bool WinePrefix::mapPort(int n, const QString& unixPath)
{
    return setValue(QStringLiteral("HKLM\\Software\\Wine\\Ports"), QStringLiteral("COM%1").arg(n),
                    QStringLiteral("REG_SZ"), unixPath);
}

void WinePrefix::stopServer()
{
    if (!m_dir.isValid())
        return;
    QProcess server;
    server.setProcessEnvironment(m_env);
    server.start(wineServer(), {QStringLiteral("-k")});
    if (!server.waitForFinished(15000))
        server.kill();
    server.waitForFinished(3000);
    // -k only asks; -w waits until the server is gone.
    server.start(wineServer(), {QStringLiteral("-w")});
    if (!server.waitForFinished(15000))
        server.kill();
    server.waitForFinished(3000);
}

bool WinePrefix::restart()
{
    stopServer();
    return run({QStringLiteral("cmd"), QStringLiteral("/c"), QStringLiteral("exit")});
}

bool WinePrefix::hasKey(const QString& key)
{
    return exec({QStringLiteral("reg"), QStringLiteral("query"), key}, nullptr) == 0;
}

QString WinePrefix::value(const QString& key, const QString& name)
{
    QByteArray output;
    if (exec({QStringLiteral("reg"), QStringLiteral("query"), key, QStringLiteral("/v"), name},
             &output) != 0)
        return {};
    // "    NAME    REG_SZ    DATA"
    for (const QByteArray& line : output.split('\n')) {
        const QStringList parts = QString::fromLocal8Bit(line).trimmed().split(
            QStringLiteral("    "), Qt::SkipEmptyParts);
        if (parts.size() >= 3 && parts[0] == name)
            return parts.mid(2).join(QStringLiteral("    "));
    }
    return {};
}

bool WinePrefix::run(const QStringList& args, const QString& workingDir, int timeoutMs)
{
    QByteArray output;
    const int status = exec(args, &output, workingDir, timeoutMs);
    if (status != 0)
        m_error = QStringLiteral("wine64 %1: %2%3")
                      .arg(args.join(u' '),
                           status < 0 ? QStringLiteral("timed out; ")
                                      : QStringLiteral("status %1; ").arg(status),
                           QString::fromLocal8Bit(output));
    return status == 0;
}

int WinePrefix::exec(const QStringList& args, QByteArray* output, const QString& workingDir,
                     int timeoutMs, const QProcessEnvironment& extra)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    start(process, args, workingDir, extra);
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(3000);
    }
    if (output)
        *output = process.readAll();
    return finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void WinePrefix::start(QProcess& process, const QStringList& args, const QString& workingDir,
                       const QProcessEnvironment& extra) const
{
    QProcessEnvironment env = m_env;
    env.insert(extra);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDir.isEmpty() ? m_dir.path() : workingDir);
    process.start(wine(), args);
}

QString WinePrefix::driveC() const
{
    return m_dir.filePath(QStringLiteral("drive_c"));
}
