// A private X display for the tests: Xvfb on the first free display number
// and openbox on it, so that windows get frames with close boxes. Pressing
// in a window does not focus or raise it (see writeWindowManagerSettings).
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

class XServer
{
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Starts Xvfb; false, with errorString() set, when it cannot run here.
    bool startDisplay();
    // Starts the window manager and waits until it manages the screen.
    bool startWindowManager();
    void stop();

    QString display() const { return m_display; }
    // The desktop's font resolution (Xft.dpi) that programs starting now
    // read: 144 is 150 % desktop scaling; 0 takes the setting away.
    bool setFontDpi(int dpi) const;
    // Whether Xvfb and openbox still run, for a failing test's report.
    QString state() const;
    QString errorString() const { return m_error; }
    // The environment of a client of this display and nothing else.
    QProcessEnvironment clientEnvironment() const;

private:
    bool writeWindowManagerSettings();
    bool windowManagerRunning() const;
    QString log(const QString& name) const;

    QProcess m_xvfb;
    QProcess m_openbox;
    QTemporaryDir m_scratch; // the servers' logs, and settings so openbox reads no user's
    QString m_display;
    QString m_error;
};
