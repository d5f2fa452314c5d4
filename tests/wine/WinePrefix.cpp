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

bool WinePrefix::run(const QStringList& args, const QString& workingDir, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    start(process, args, workingDir);
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(3000);
    }
    const bool ok =
        finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        m_error = QStringLiteral("wine64 %1: %2%3")
                      .arg(args.join(u' '), finished ? QString() : QStringLiteral("timed out; "),
                           QString::fromLocal8Bit(process.readAll()));
    return ok;
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
