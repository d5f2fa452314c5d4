// The TCP listener of Lumo's web servers: it hands each connection to the
// HTTP server, but first watches what arrives on it, so that a request
// larger than the server takes (overlong headers, a body over its limit)
// ends the connection before it is held in memory. Connections are a
// bounded resource: at most kMaxPerAddress from one address, kMaxPerNetwork
// from one IPv6 /64, at most MaxConnections() in all (a share of the
// descriptors the process may open; when full, the address that holds the
// most gives up a connection that waits idle for its next request, else
// its oldest, to a newcomer from elsewhere), and each must keep time: a
// request (and the TLS handshake before the first) within kRequestMs of
// its first byte, the next request within kIdleMs of the last answer.
//
// A client that sends requests but does not read the answers stops being
// read: past kPauseBytes of answers waiting to go out on its connection,
// nothing more is read from it until they are down to kResumeBytes; a
// connection holding kMaxQueuedBytes, or still paused after kIdleMs, is
// closed, and so is the one holding the most when all hold kMaxQueuedTotal.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QSslConfiguration>
#include <QTcpServer>

#include <functional>
#include <optional>

class RemoteListener : public QTcpServer
{
    Q_OBJECT
public:
    // The most a connection may send towards one request: headers and body.
    static constexpr qint64 kMaxRequestBytes = 16 * 1024;
    // Connections in all when the descriptors allow no more (and the most
    // that a share of them may give, kMaxConnectionsCeiling).
    static constexpr int kMaxConnectionsFloor = 256;
    static constexpr int kMaxConnectionsCeiling = 4096;
    static constexpr int kMaxPerAddress = 32;
    static constexpr int kMaxPerNetwork = 128; // an IPv6 /64: a segment of many devices
    // Answers waiting to go out (bytes not yet taken by the client).
    static constexpr qint64 kPauseBytes = 256 * 1024;
    static constexpr qint64 kResumeBytes = 64 * 1024;
    static constexpr qint64 kMaxQueuedBytes = 4 * 1024 * 1024;
    static constexpr qint64 kMaxQueuedTotal = 32 * 1024 * 1024;
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
    // Connections held at most at once: a quarter of the descriptors the
    // process may open (its soft limit, raised to the hard one first),
    // within the floor and the ceiling above.
    static int MaxConnections();
    // At most `connections` at once from now on (fewer than MaxConnections()).
    void SetMaxConnections(int connections) { m_maxConnections = connections; }
    int OpenConnections() const { return int(m_open.size()); }

    // An answer has been written on `socket`: past the bounds above, the
    // connection stops being read, or is closed.
    void Wrote(QTcpSocket* socket);
    // Calls `then` once `socket` has less than kResumeBytes waiting to go
    // out (at once if it has); never when the connection ends first.
    static void WhenDrained(QTcpSocket* socket, std::function<void()> then);

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
    bool makeRoom(const QHostAddress& address, const QHostAddress& group);
    void forget(QTcpSocket* socket, const QHostAddress& address, const QHostAddress& group);
    void pause(QTcpSocket* socket);
    void closeConnection(QTcpSocket* socket, const char* why);

    std::optional<QSslConfiguration> m_tls;
    int m_maxConnections = MaxConnections();
    QHash<QHostAddress, int> m_perGroup;
    QHash<QHostAddress, int> m_perAddress;
    QList<QTcpSocket*> m_open; // oldest first
};
