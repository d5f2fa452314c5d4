// Ends a peer the tests started (a server, a broker, an X server): asked
// first, killed if it has not gone within 3 s, so that no suite hangs on it.
#pragma once

#include <QProcess>

inline void StopProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}
