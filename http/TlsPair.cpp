#include "http/TlsPair.h"

#include "http/RemoteListener.h"

#include <QSslSocket>
#include <QTcpSocket>

std::optional<QString> TlsPair::Mismatch(const QSslConfiguration& tls)
{
    constexpr int kWaitMs = 2000;
    RemoteListener listener; // the campus page's own, which starts the handshake
    listener.UseTls(tls);
    if (!listener.listen(QHostAddress::LocalHost))
        return std::nullopt;
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, listener.serverPort());
    if (!listener.waitForNewConnection(kWaitMs))
        return std::nullopt;
    // The key is checked against the certificate as the handshake starts.
    const auto* server = qobject_cast<QSslSocket*>(listener.nextPendingConnection());
    if (server && (server->error() == QAbstractSocket::SslInvalidUserDataError ||
                   server->error() == QAbstractSocket::SslInternalError))
        return server->errorString();
    return std::nullopt;
}
