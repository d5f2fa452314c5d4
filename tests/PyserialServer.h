// The server side of pyserial (serial.rfc2217.PortManager, Debian's
// python3-serial) on 127.0.0.1, bridging one pseudo-terminal: a second
// RFC 2217 implementation beside ser2net. tests/rfc2217_server.py does the
// serving, on a port the system picks.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

class PyserialServer
{
public:
    explicit PyserialServer(QString devicePath);
    ~PyserialServer();
    PyserialServer(const PyserialServer&) = delete;
    PyserialServer& operator=(const PyserialServer&) = delete;

    // Starts it and waits (bounded) until it listens; false, with error()
    // telling why, when it cannot be started.
    bool start();
    QString error() const { return m_error; }
    QString url() const;

    // What the server reported after each client that has gone: the line
    // state it left ("closed dtr=1 rts=1 xonxoff=0 rtscts=0 break=0").
    QStringList sessions();

private:
    QString m_devicePath;
    QProcess m_process;
    QByteArray m_output;
    quint16 m_port = 0;
    QString m_error;
};
