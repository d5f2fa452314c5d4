// Whether a certificate and a private key belong together. A pair that
// does not still loads, and then every handshake fails without a word, so
// this starts the server's side of one handshake on loopback, as the
// campus page would, and reports what TLS says about the pair.
#pragma once

#include <QSslConfiguration>
#include <QString>

#include <optional>

class TlsPair
{
public:
    // Why the certificate and key of `tls` cannot serve; nullopt when they
    // can (or when loopback is not there to tell).
    static std::optional<QString> Mismatch(const QSslConfiguration& tls);
};
