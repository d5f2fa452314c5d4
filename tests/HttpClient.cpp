#include "HttpClient.h"

#include <QSslSocket>
#include <QTest>

QByteArray HttpRequest(const QByteArray& method, const QByteArray& target,
                       const QByteArray& headers, const QByteArray& body)
{
    return method + ' ' + target + " HTTP/1.1\r\n" + headers +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QList<HttpAnswer> HttpExchange(quint16 port, const QByteArray& requests, int count, bool tls,
                               const QHostAddress& from)
{
    QSslSocket socket;
    socket.bind(from);
    if (tls) {
        QSslConfiguration trusting = socket.sslConfiguration();
        trusting.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.setSslConfiguration(trusting);
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    } else {
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    }
    socket.write(requests); // buffered until connected (and encrypted)
    QByteArray received;
    QList<HttpAnswer> answers;
    // Takes each whole answer off the front of what was received.
    const auto takeAnswers = [&] {
        for (;;) {
            const qsizetype end = received.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            HttpAnswer answer;
            answer.head = received.left(end);
            const qsizetype at = answer.head.toLower().indexOf("content-length:");
            const qsizetype length =
                at < 0 ? 0 : answer.head.mid(at + 15).split('\r').first().trimmed().toLongLong();
            if (received.size() < end + 4 + length)
                return;
            answer.body = received.mid(end + 4, length);
            answer.status = answer.head.mid(9, 3).toInt();
            received.remove(0, end + 4 + length);
            answers.append(answer);
        }
    };
    (void)QTest::qWaitFor(
        [&] {
            received += socket.readAll();
            takeAnswers();
            return answers.size() >= count || socket.state() == QAbstractSocket::UnconnectedState;
        },
        15000);
    // What a server that hung up left half-sent is an answer too.
    if (answers.size() < count && received.contains("\r\n\r\n")) {
        HttpAnswer partial;
        partial.head = received.left(received.indexOf("\r\n\r\n"));
        partial.body = received.mid(partial.head.size() + 4);
        partial.status = partial.head.mid(9, 3).toInt();
        answers.append(partial);
    }
    return answers;
}

HttpAnswer HttpAsk(quint16 port, const QByteArray& method, const QByteArray& target,
                   const QByteArray& headers, const QByteArray& body, bool tls,
                   const QHostAddress& from)
{
    const QList<HttpAnswer> answers =
        HttpExchange(port, HttpRequest(method, target, headers, body), 1, tls, from);
    return answers.isEmpty() ? HttpAnswer{} : answers.first();
}
