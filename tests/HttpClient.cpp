#include "HttpClient.h"

#include <QSslSocket>
#include <QTest>

HttpAnswer HttpAsk(quint16 port, const QByteArray& method, const QByteArray& target,
                   const QByteArray& headers, const QByteArray& body, bool tls,
                   const QHostAddress& from)
{
    QSslSocket socket;
    socket.bind(from);
    const QByteArray request = method + ' ' + target + " HTTP/1.1\r\n" + headers +
                               "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
                               body;
    if (tls) {
        QSslConfiguration trusting = socket.sslConfiguration();
        trusting.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.setSslConfiguration(trusting);
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    } else {
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    }
    socket.write(request); // buffered until connected (and encrypted)
    QByteArray received;
    HttpAnswer answer;
    (void)QTest::qWaitFor(
        [&] {
            received += socket.readAll();
            const qsizetype end = received.indexOf("\r\n\r\n");
            if (end < 0)
                return socket.state() == QAbstractSocket::UnconnectedState;
            answer.head = received.left(end);
            const qsizetype at = answer.head.toLower().indexOf("content-length:");
            const qsizetype length =
                at < 0 ? 0 : answer.head.mid(at + 15).split('\r').first().trimmed().toLongLong();
            answer.body = received.mid(end + 4);
            return answer.body.size() >= length ||
                   socket.state() == QAbstractSocket::UnconnectedState;
        },
        15000);
    answer.status = answer.head.mid(9, 3).toInt();
    return answer;
}
