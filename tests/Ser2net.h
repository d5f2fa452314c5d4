// Debian's ser2net on 127.0.0.1, bridging one pseudo-terminal with an
// RFC 2217 accepter and a raw TCP one, each on a port it holds from its
// construction on (HeldPort). The configuration is written to a private
// directory; stopping and starting again keeps the ports.
#pragma once

#include "HeldPort.h"

#include <QProcess>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

class Ser2net
{
public:
    explicit Ser2net(QString ptyPath);
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // Starts it and waits (bounded) until both ports listen; false, with
    // error() telling why, when it cannot be started.
    bool start();
    void stop();
    // The running server's process ID, for a test that stops or kills it.
    qint64 pid() const { return m_process.processId(); }
    QString error() const { return m_error; }

    quint16 rfc2217Port() const { return m_rfc2217.port(); }
    quint16 rawPort() const { return m_raw.port(); }
    QString rfc2217Url() const;
    QString rawUrl() const;
    // Whether something listens on 127.0.0.1:port, from the kernel's table
    // (no connection disturbs the server).
    static bool Listening(quint16 port);
    // Every port something listens on at 127.0.0.1, the same way.
    static QSet<quint16> ListeningPorts();

private:
    QString m_ptyPath;
    QTemporaryDir m_dir;
    QProcess m_process;
    HeldPort m_rfc2217;
    HeldPort m_raw;
    QString m_error;
};
