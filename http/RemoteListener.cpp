#include "http/RemoteListener.h"

#include "control/Logging.h"
#include "http/RemoteAccess.h"

#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace
{
constexpr const char* kPendingBytes = "lumoPendingBytes";
constexpr const char* kHttp10 = "lumoHttp10";
constexpr const char* kStarted = "lumoRequestStarted";
constexpr const char* kAnswering = "lumoAnswering";
constexpr const char* kPaused = "lumoPaused";
constexpr int kPollMs = 20;
// What Qt reads ahead of the server: a whole request at most, so that a
// connection that is not read holds no more than this.
constexpr qint64 kReadAhead = 2 * RemoteListener::kMaxRequestBytes;

// Bytes of answers the client has not taken yet, TLS's too.
qint64 queued(const QTcpSocket* socket)
{
    qint64 bytes = socket->bytesToWrite();
    if (const auto* tls = qobject_cast<const QSslSocket*>(socket))
        bytes += tls->encryptedBytesToWrite();
    return bytes;
}


// Waiting for its next request: nothing of one read, none being answered.
bool idle(const QTcpSocket* socket)
{
    return !socket->property(kStarted).toBool() && !socket->property(kAnswering).toBool() &&
           queued(socket) == 0;
}

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
    ListenerConnection(RemoteListener* listener, QTcpSocket* socket, QHostAddress address,
                       QHostAddress group)
        : QObject(socket), m_listener(listener), m_socket(socket), m_address(std::move(address)),
          m_group(std::move(group))
    {
    }
    ~ListenerConnection() override
    {
        if (m_listener)
            m_listener->forget(m_socket, m_address, m_group);
    }

private:
    QPointer<RemoteListener> m_listener;
    QTcpSocket* m_socket;
    QHostAddress m_address, m_group;
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

int RemoteListener::MaxConnections()
{
    static const int connections = [] {
        qint64 descriptors = 1024;
#ifdef Q_OS_UNIX
        rlimit limit{};
        if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
            if (limit.rlim_cur < limit.rlim_max) { // ours to take
                rlimit raised = limit;
                raised.rlim_cur = limit.rlim_max;
                if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
                    limit = raised;
            }
            descriptors = limit.rlim_cur == RLIM_INFINITY ? qint64(1) << 20 : qint64(limit.rlim_cur);
        }
#endif
        return int(std::clamp<qint64>(descriptors / 4, kMaxConnectionsFloor, kMaxConnectionsCeiling));
    }();
    return connections;
}

void RemoteListener::forget(QTcpSocket* socket, const QHostAddress& address,
                            const QHostAddress& group)
{
    if (!m_open.removeOne(socket))
        return;
    if (--m_perGroup[group] <= 0)
        m_perGroup.remove(group);
    if (--m_perAddress[address] <= 0)
        m_perAddress.remove(address);
}

// Room for a connection from `address` in `group` (its /64 for IPv6):
// false when either holds its share. When all are taken, a connection of
// the group holding the most goes, unless the newcomer's group holds as
// many: one idle between requests first, else its oldest.
bool RemoteListener::makeRoom(const QHostAddress& address, const QHostAddress& group)
{
    if (m_perAddress.value(address) >= kMaxPerAddress || m_perGroup.value(group) >= kMaxPerNetwork)
        return false;
    if (m_open.size() < m_maxConnections)
        return true;
    QTcpSocket* victim = nullptr;
    QHostAddress victimGroup;
    int most = 0;
    bool victimIdle = false;
    for (QTcpSocket* socket : std::as_const(m_open)) { // oldest first
        const QHostAddress its = RemoteAccess::Group(socket->peerAddress());
        const int count = m_perGroup.value(its);
        const bool isIdle = idle(socket);
        if (its == group || count < most || (count == most && (victimIdle || !isIdle)))
            continue;
        victim = socket;
        victimGroup = its;
        most = count;
        victimIdle = isIdle;
    }
    const int mine = m_perGroup.value(group);
    if (!victim || most <= mine || (!victimIdle && most <= mine + 1))
        return false;
    qCDebug(lcWeb).noquote() << "closed" << (victimIdle ? "an idle" : "the oldest")
                             << "connection of" << victimGroup.toString() << "for one from elsewhere";
    forget(victim, RemoteAccess::Own(victim->peerAddress()), victimGroup);
    victim->abort();
    victim->deleteLater();
    return true;
}

void RemoteListener::Wrote(QTcpSocket* socket)
{
    const qint64 mine = queued(socket);
    if (mine > kMaxQueuedBytes)
        return closeConnection(socket, "its answers are not read");
    qint64 total = 0;
    QTcpSocket* biggest = socket;
    for (QTcpSocket* open : std::as_const(m_open)) {
        const qint64 bytes = queued(open);
        total += bytes;
        if (bytes > queued(biggest))
            biggest = open;
    }
    if (total > kMaxQueuedTotal)
        closeConnection(biggest, "answers waiting on every connection");
    else if (mine > kPauseBytes)
        pause(socket);
}

void RemoteListener::WhenDrained(QTcpSocket* socket, std::function<void()> then)
{
    if (queued(socket) < kResumeBytes)
        return then();
    auto* poll = new QTimer(socket);
    connect(poll, &QTimer::timeout, socket, [socket, poll, then] {
        if (queued(socket) >= kResumeBytes)
            return;
        poll->deleteLater();
        poll->stop();
        then();
    });
    poll->start(kPollMs);
}

// Nothing more is read from `socket` (Qt reads ahead at most kReadAhead)
// until its answers are taken, within kIdleMs.
void RemoteListener::pause(QTcpSocket* socket)
{
    if (socket->property(kPaused).toBool())
        return;
    qCDebug(lcWeb).noquote() << "stopped reading from" << socket->peerAddress().toString() << "with"
                             << queued(socket) << "bytes of answers not taken";
    socket->setProperty(kPaused, true);
    socket->blockSignals(true); // the server reads on readyRead
    auto* poll = new QTimer(socket);
    QElapsedTimer since;
    since.start();
    connect(poll, &QTimer::timeout, this, [this, socket, poll, since] {
        if (socket->state() != QAbstractSocket::ConnectedState || since.elapsed() > kIdleMs)
            return closeConnection(socket, "its answers are not read");
        if (queued(socket) >= kResumeBytes)
            return;
        poll->deleteLater();
        poll->stop();
        socket->setProperty(kPaused, false);
        socket->blockSignals(false);
        if (socket->bytesAvailable() > 0)
            emit socket->readyRead();
    });
    poll->start(kPollMs);
}

void RemoteListener::closeConnection(QTcpSocket* socket, const char* why)
{
    qCDebug(lcWeb).noquote() << "closed the connection of" << socket->peerAddress().toString()
                             << "with" << queued(socket) << "bytes waiting:" << why;
    const bool paused = socket->property(kPaused).toBool();
    socket->blockSignals(false);
    socket->abort();
    if (paused) // its own signal was not heard
        emit connectionClosed(socket);
    socket->deleteLater();
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
    const QHostAddress address = socket->peerAddress();
    const QHostAddress group = RemoteAccess::Group(address);
    if (!makeRoom(RemoteAccess::Own(address), group)) {
        qCDebug(lcWeb).noquote() << "refused" << address.toString() << "with"
                                 << m_perAddress.value(RemoteAccess::Own(address)) << "of its connections,"
                                 << m_perGroup.value(group) << "of its network's and"
                                 << m_open.size() << "in all open";
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_open.append(socket);
    ++m_perGroup[group];
    ++m_perAddress[RemoteAccess::Own(address)];
    socket->setReadBufferSize(kReadAhead);
    new ListenerConnection(this, socket, RemoteAccess::Own(address), group);
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
