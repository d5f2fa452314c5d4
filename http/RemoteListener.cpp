#include "http/RemoteListener.h"

#include "control/Logging.h"
#include "http/RemoteAccess.h"

#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

namespace
{
constexpr const char* kPendingBytes = "lumoPendingBytes";
constexpr const char* kHttp10 = "lumoHttp10";
constexpr const char* kStarted = "lumoRequestStarted";
constexpr const char* kAnswering = "lumoAnswering";

QTimer* requestDeadline(QTcpSocket* socket)
{
    return socket->findChild<QTimer*>(QStringLiteral("lumoDeadline"), Qt::FindDirectChildrenOnly);
}

void restart(QTcpSocket* socket, int ms)
{
    if (QTimer* timer = requestDeadline(socket))
        timer->start(ms);
}
} // namespace

// Lives as a child of its socket, so that the count goes down when the
// socket goes, whoever deletes it and whatever signals were disconnected.
class ListenerConnection : public QObject
{
public:
    ListenerConnection(RemoteListener* listener, QTcpSocket* socket, QHostAddress group)
        : QObject(socket), m_listener(listener), m_socket(socket), m_group(std::move(group))
    {
    }
    ~ListenerConnection() override
    {
        if (m_listener)
            m_listener->forget(m_socket, m_group);
    }

private:
    QPointer<RemoteListener> m_listener;
    QTcpSocket* m_socket;
    QHostAddress m_group;
};

RemoteListener::RemoteListener(QObject* parent) : QTcpServer(parent) {}

RemoteListener::~RemoteListener()
{
    // The sockets are children: they go after this, and need not count.
    m_open.clear();
}

void RemoteListener::RequestDone(QTcpSocket* socket)
{
    socket->setProperty(kPendingBytes, qint64(0));
    socket->setProperty(kStarted, false);
    socket->setProperty(kAnswering, true);
    restart(socket, kAnswerMs);
}

void RemoteListener::Answered(QTcpSocket* socket)
{
    socket->setProperty(kAnswering, false);
    restart(socket, socket->property(kStarted).toBool() ? kRequestMs : kIdleMs);
}

bool RemoteListener::Http10(QTcpSocket* socket)
{
    return socket->property(kHttp10).toBool();
}

void RemoteListener::forget(QTcpSocket* socket, const QHostAddress& group)
{
    if (!m_open.removeOne(socket))
        return;
    if (--m_perGroup[group] <= 0)
        m_perGroup.remove(group);
}

// Room for a connection from `group`: false when that address holds its
// share; when all are taken, the oldest connection of the address holding
// the most goes, unless that is `group` itself.
bool RemoteListener::makeRoom(const QHostAddress& group)
{
    if (m_perGroup.value(group) >= kMaxPerAddress)
        return false;
    if (m_open.size() < kMaxConnections)
        return true;
    QHostAddress biggest;
    int most = 0;
    for (auto it = m_perGroup.cbegin(); it != m_perGroup.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            biggest = it.key();
        }
    if (biggest == group || most <= m_perGroup.value(group) + 1)
        return false;
    for (QTcpSocket* socket : std::as_const(m_open)) {
        if (RemoteAccess::Group(socket->peerAddress()) != biggest)
            continue;
        qCDebug(lcWeb).noquote() << "closed the oldest connection of" << biggest.toString()
                                 << "for one from elsewhere";
        forget(socket, biggest);
        socket->abort();
        return true;
    }
    return false;
}

void RemoteListener::incomingConnection(qintptr descriptor)
{
    QTcpSocket* socket = nullptr;
    if (m_tls) {
        auto* tls = new QSslSocket(this);
        tls->setSslConfiguration(*m_tls);
        socket = tls;
    } else {
        socket = new QTcpSocket(this);
    }
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress group = RemoteAccess::Group(socket->peerAddress());
    if (!makeRoom(group)) {
        qCDebug(lcWeb).noquote() << "refused" << socket->peerAddress().toString() << "with"
                                 << m_perGroup.value(group) << "of its connections and"
                                 << m_open.size() << "in all open";
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_open.append(socket);
    ++m_perGroup[group];
    new ListenerConnection(this, socket, group);
    watch(socket);
    // The server reads what the handshake lets through, decrypted; a
    // client that fails the handshake is disconnected by the socket.
    if (auto* tls = qobject_cast<QSslSocket*>(socket))
        tls->startServerEncryption();
    addPendingConnection(socket);
    emit connectionOpened(socket);
}

// Connected before the HTTP server's own handler, so this sees each piece of
// data before the server reads it.
void RemoteListener::watch(QTcpSocket* socket)
{
    socket->setProperty(kPendingBytes, qint64(0));
    auto* timer = new QTimer(socket);
    timer->setObjectName(QStringLiteral("lumoDeadline"));
    timer->setSingleShot(true);
    // A deadline missed: the connection ends, its socket with it (also
    // when the HTTP server let go of a request it could not parse).
    connect(timer, &QTimer::timeout, socket, [socket] {
        qCDebug(lcWeb).noquote() << "closed the connection of"
                                 << socket->peerAddress().toString() << "(too slow)";
        socket->abort();
        socket->deleteLater();
    });
    timer->start(kRequestMs);
    connect(socket, &QTcpSocket::readyRead, this, [socket] {
        if (!socket->property(kStarted).toBool()) {
            socket->setProperty(kStarted, true);
            const QByteArray line = socket->peek(256).split('\n').first().trimmed();
            socket->setProperty(kHttp10, line.endsWith("HTTP/1.0"));
            if (!socket->property(kAnswering).toBool())
                restart(socket, kRequestMs);
        }
        const qint64 pending = socket->property(kPendingBytes).toLongLong() + socket->bytesAvailable();
        socket->setProperty(kPendingBytes, pending);
        if (pending <= kMaxRequestBytes)
            return;
        qCDebug(lcWeb).noquote() << "refused" << socket->peerAddress().toString()
                                 << "413: request larger than" << kMaxRequestBytes << "bytes";
        // The server never sees this request: what came is dropped unread.
        QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
        socket->readAll();
        socket->write("HTTP/1.1 413 Payload Too Large\r\nContent-Length: 0\r\n"
                      "Connection: close\r\n\r\n");
        socket->disconnectFromHost();
    });
    connect(socket, &QTcpSocket::disconnected, this,
            [this, socket] { emit connectionClosed(socket); });
}
