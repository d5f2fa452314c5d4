// A Wine prefix of its own in a temporary folder, for one test run: made
// with wineboot, started without the Mono and Gecko prompts, serial ports
// mapped in Wine's registry, its wineserver ended when it goes.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class WinePrefix
{
public:
    // `display`: the environment of a client of the test's X server.
    explicit WinePrefix(const QProcessEnvironment& display);
    ~WinePrefix();
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    static QString wine() { return QStringLiteral("/usr/lib/wine/wine64"); }
    static QString wineServer() { return QStringLiteral("/usr/lib/wine/wineserver"); }

    // Makes the prefix; false, with errorString() set, when Wine cannot.
    bool create();
    // Sets a registry value (`type` REG_SZ, REG_DWORD...) or removes it.
    bool setValue(const QString& key, const QString& name, const QString& type,
                  const QString& data);
    bool removeValue(const QString& key, const QString& name);
    // Points COM<n> at `unixPath`; takes effect when the server next starts.
    bool mapPort(int n, const QString& unixPath);
    // Ends the wineserver and everything running in the prefix.
    void stopServer();
    // Restarts Windows: ends everything, then starts again, which carries
    // out what was left for the next start (PendingFileRenameOperations).
    bool restart();
    // A registry value's data as `reg query` shows it; null when there is none.
    QString value(const QString& key, const QString& name);
    bool hasKey(const QString& key);
    // Runs `wine64 args` in `workingDir` to its end; false if it failed.
    bool run(const QStringList& args, const QString& workingDir = {}, int timeoutMs = 120000);
    // The same, giving its exit status (-1: it did not end) and output.
    int exec(const QStringList& args, QByteArray* output, const QString& workingDir = {},
             int timeoutMs = 120000, const QProcessEnvironment& extra = {});
    // Starts `wine64 args` in `workingDir` without waiting; `extra` is added
    // to the environment (Wine hands it to the Windows program).
    void start(QProcess& process, const QStringList& args, const QString& workingDir,
               const QProcessEnvironment& extra = {}) const;

    // Where C:\ is on this machine.
    QString driveC() const;
    QProcessEnvironment environment() const { return m_env; }
    QString errorString() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QString m_error;
};
