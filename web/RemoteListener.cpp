#include "web/RemoteListener.h"

#include "control/Logging.h"

#include <QSslSocket>
#include <QTcpSocket>

namespace
{
constexpr const char* kPendingBytes = "lumoPendingBytes";
} // namespace

RemoteListener::RemoteListener(QObject* parent) : QTcpServer(parent) {}

void RemoteListener::RequestDone(QTcpSocket* socket)
{
    socket->setProperty(kPendingBytes, qint64(0));
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
    if (m_open >= kMaxConnections) {
        qCDebug(lcWeb).noquote() << "refused" << socket->peerAddress().toString() << "with"
                                 << m_open << "connections open";
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_open;
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
    RequestDone(socket);
    connect(socket, &QTcpSocket::readyRead, this, [socket] {
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
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        --m_open;
        emit connectionClosed(socket);
    });
}
