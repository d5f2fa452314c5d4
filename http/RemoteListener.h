// The TCP listener of Lumo's web servers: it hands each connection to the
// HTTP server, but first watches what arrives on it, so that a request
// larger than the server takes (overlong headers, a body over its limit)
// ends the connection before it is held in memory. Connections are a
// bounded resource: at most kMaxPerAddress from one address (an IPv6 /64
// counts as one), at most kMaxConnections in all (when full, the address
// that holds the most gives up its oldest connection to a newcomer from
// elsewhere), and each must keep time: a request (and the TLS handshake
// before the first) within kRequestMs of its first byte, the next request
// within kIdleMs of the last answer.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QSslConfiguration>
#include <QTcpServer>

#include <optional>

class RemoteListener : public QTcpServer
{
    Q_OBJECT
public:
    // The most a connection may send towards one request: headers and body.
    static constexpr qint64 kMaxRequestBytes = 16 * 1024;
    static constexpr int kMaxConnections = 256;
    static constexpr int kMaxPerAddress = 32;
    // From the connection, or the first byte of a request, to its end.
    static constexpr int kRequestMs = 10'000;
    // From a request's end to its answer (a command to every room of a
    // large school, a login behind many others).
    static constexpr int kAnswerMs = 300'000;
    // From an answer to the next request on the same connection.
    static constexpr int kIdleMs = 15'000;

    explicit RemoteListener(QObject* parent = nullptr);
    ~RemoteListener() override;

    // Each connection from now on speaks TLS with this certificate and key.
    void UseTls(const QSslConfiguration& tls) { m_tls = tls; }

    // A whole request has been read from `socket`: its count starts again,
    // and its answer is awaited.
    static void RequestDone(QTcpSocket* socket);
    // The answer has been written: the connection waits for the next.
    static void Answered(QTcpSocket* socket);
    // Whether the request being answered on `socket` came as HTTP/1.0.
    static bool Http10(QTcpSocket* socket);

signals:
    void connectionOpened(QTcpSocket* socket);
    void connectionClosed(QTcpSocket* socket);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    friend class ListenerConnection;
    void watch(QTcpSocket* socket);
    bool makeRoom(const QHostAddress& group);
    void forget(QTcpSocket* socket, const QHostAddress& group);

    std::optional<QSslConfiguration> m_tls;
    QHash<QHostAddress, int> m_perGroup;
    QList<QTcpSocket*> m_open; // oldest first
};
