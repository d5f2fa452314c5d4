#include "XServer.h"

#include "StopProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

namespace
{
constexpr int kStartTimeoutMs = 15000;

} // namespace

XServer::~XServer()
{
    stop();
}

bool XServer::startDisplay()
{
    if (!m_scratch.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_scratch.errorString();
        return false;
    }
    // Only what Xvfb says goes to a pipe: nobody reads it while the tests run.
    m_xvfb.setStandardErrorFile(m_scratch.filePath(QStringLiteral("xvfb.log")));
    // -displayfd 1: Xvfb picks a free display number and writes it to stdout.
    m_xvfb.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!m_xvfb.waitForStarted(kStartTimeoutMs)) {
        m_error = QStringLiteral("Xvfb does not start: ") + m_xvfb.errorString();
        return false;
    }
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!m_xvfb.canReadLine() && m_xvfb.state() == QProcess::Running && !deadline.hasExpired())
        m_xvfb.waitForReadyRead(int(deadline.remainingTime()));
    const QString number = QString::fromLatin1(m_xvfb.readLine()).trimmed();
    if (number.isEmpty()) {
        m_error = QStringLiteral("Xvfb reported no display: ") + log(QStringLiteral("xvfb.log"));
        stop();
        return false;
    }
    m_display = u':' + number;
    return true;
}

// The system's openbox settings without the bindings on a press in a client
// window: that binding grabs the pointer on each press to focus and raise, and
// while it holds the grab the X server drops presses that follow within a few
// milliseconds, so a burst of clicks would not reach the program whole.
bool XServer::writeWindowManagerSettings()
{
    QFile system(QStringLiteral("/etc/xdg/openbox/rc.xml"));
    if (!system.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("no openbox settings: ") + system.errorString();
        return false;
    }
    QString settings = QString::fromUtf8(system.readAll());
    static const QRegularExpression clientBindings(
        QStringLiteral("<context name=\"Client\">.*?</context>"),
        QRegularExpression::DotMatchesEverythingOption);
    if (!settings.contains(clientBindings)) {
        m_error = QStringLiteral("openbox settings without client bindings: ") + system.fileName();
        return false;
    }
    settings.replace(clientBindings, QStringLiteral("<context name=\"Client\"/>"));
    QDir(m_scratch.path()).mkpath(QStringLiteral("openbox"));
    QFile own(m_scratch.filePath(QStringLiteral("openbox/rc.xml")));
    if (!own.open(QIODevice::WriteOnly) || own.write(settings.toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write %1: %2").arg(own.fileName(), own.errorString());
        return false;
    }
    return true;
}

bool XServer::startWindowManager()
{
    if (!writeWindowManagerSettings())
        return false;
    QProcessEnvironment env = clientEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_scratch.path());
    m_openbox.setProcessEnvironment(env);
    m_openbox.setProcessChannelMode(QProcess::MergedChannels);
    m_openbox.setStandardOutputFile(m_scratch.filePath(QStringLiteral("openbox.log")));
    m_openbox.start(QStringLiteral("openbox"), {});
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (m_openbox.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        if (windowManagerRunning())
            return true;
        QThread::msleep(50);
    }
    m_error =
        QStringLiteral("openbox did not take the screen: ") + log(QStringLiteral("openbox.log"));
    return false;
}

void XServer::stop()
{
    StopProcess(m_openbox);
    StopProcess(m_xvfb);
}

QProcessEnvironment XServer::clientEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
          "QT_ENABLE_HIGHDPI_SCALING", "XAUTHORITY", "SESSION_MANAGER"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

bool XServer::setFontDpi(int dpi) const
{
    QStringList args{QStringLiteral("-root")};
    if (dpi > 0)
        args << QStringLiteral("-format") << QStringLiteral("RESOURCE_MANAGER")
             << QStringLiteral("8s") << QStringLiteral("-set") << QStringLiteral("RESOURCE_MANAGER")
             << QStringLiteral("Xft.dpi:\t%1\n").arg(dpi);
    else
        args << QStringLiteral("-remove") << QStringLiteral("RESOURCE_MANAGER");
    QProcess xprop;
    xprop.setProcessEnvironment(clientEnvironment());
    xprop.start(QStringLiteral("xprop"), args);
    return xprop.waitForFinished(5000) && xprop.exitCode() == 0;
}

bool XServer::windowManagerRunning() const
{
    QProcess xprop;
    xprop.setProcessEnvironment(clientEnvironment());
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
    return xprop.waitForFinished(5000) && xprop.exitCode() == 0 &&
           xprop.readAllStandardOutput().contains("window id");
}

QString XServer::log(const QString& name) const
{
    QFile file(m_scratch.filePath(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()).trimmed()
                                          : QString();
}

QString XServer::state() const
{
    const auto running = [](const QProcess& p) {
        return p.state() == QProcess::Running ? QStringLiteral("runs")
                                              : QStringLiteral("ended with %1").arg(p.exitCode());
    };
    QString state = QStringLiteral("Xvfb on %1 %2, openbox %3")
                        .arg(m_display, running(m_xvfb), running(m_openbox));
    if (m_openbox.state() != QProcess::Running)
        state += QStringLiteral(" and said: ") + log(QStringLiteral("openbox.log"));
    return state;
}
