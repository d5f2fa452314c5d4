// One HTTP/1.1 request on its own connection, as raw bytes, to a server on
// 127.0.0.1 that lives on the test's own thread: the wait runs the event
// loop. A timeout leaves the status 0, which no test expects.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>

struct HttpAnswer {
    int status = 0;
    QByteArray head; // status line and headers
    QByteArray body;
};

// `headers`: complete lines ("Host: …\r\n"); Content-Length is added.
// `tls`: over TLS, whatever certificate the server shows. `from`: the
// address to send from (any of 127/8), 127.0.0.1 by default.
HttpAnswer HttpAsk(quint16 port, const QByteArray& method, const QByteArray& target,
                   const QByteArray& headers, const QByteArray& body = {}, bool tls = false,
                   const QHostAddress& from = QHostAddress(QHostAddress::LocalHost));

// The bytes of one request, as HttpAsk sends it.
QByteArray HttpRequest(const QByteArray& method, const QByteArray& target,
                       const QByteArray& headers, const QByteArray& body = {});
// `requests` (several, pipelined) written at once on one connection; the
// first `count` answers, in the order they came.
QList<HttpAnswer> HttpExchange(quint16 port, const QByteArray& requests, int count,
                               bool tls = false,
                               const QHostAddress& from = QHostAddress(QHostAddress::LocalHost));
