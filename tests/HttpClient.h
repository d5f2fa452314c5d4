// One HTTP/1.1 request on its own connection, as raw bytes, to a server on
// 127.0.0.1 that lives on the test's own thread: the wait runs the event
// loop. A timeout leaves the status 0, which no test expects.
#pragma once

#include <QByteArray>
#include <QHostAddress>

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
