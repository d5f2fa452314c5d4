// The remote's TCP listener: it hands each connection to the HTTP server,
// but first watches what arrives on it, so that a request larger than the
// server takes (overlong headers, a body over its limit) ends the
// connection before it is held in memory.
#pragma once

#include <QSslConfiguration>
#include <QTcpServer>

#include <optional>

class RemoteListener : public QTcpServer
{
    Q_OBJECT
public:
    // The most a connection may send towards one request: headers and body.
    static constexpr qint64 kMaxRequestBytes = 16 * 1024;
    // Connections open at once; more are closed as they come, so that
    // connections nobody uses cannot take all the program's descriptors.
    static constexpr int kMaxConnections = 128;

    explicit RemoteListener(QObject* parent = nullptr);

    // Each connection from now on speaks TLS with this certificate and key.
    void UseTls(const QSslConfiguration& tls) { m_tls = tls; }

    // A whole request has been read from `socket`: its count starts again.
    static void RequestDone(QTcpSocket* socket);

signals:
    void connectionOpened(QTcpSocket* socket);
    void connectionClosed(QTcpSocket* socket);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void watch(QTcpSocket* socket);

    std::optional<QSslConfiguration> m_tls;
    int m_open = 0;
};
