#include "pjlink/PjlinkUrl.h"

#include <QHostAddress>
#include <QRegularExpression>

bool PjlinkUrl::Parse(const QString& text, PjlinkUrl* url, QString* error)
{
    const auto fail = [&](const QString& reason) {
        *error = tr("projector \"%1\": %2").arg(text.left(kMaxLength), reason);
        return false;
    };
    if (text.size() > kMaxLength)
        return fail(tr("longer than %1 characters").arg(kMaxLength));
    static const QLatin1StringView scheme("pjlink://");
    if (!text.startsWith(scheme, Qt::CaseInsensitive))
        return fail(tr("not a projector address (write pjlink://HOST or pjlink://HOST:PORT)"));
    static const QRegularExpression shape(
        QStringLiteral(R"(^(\[[^\]]*\]|[^:/?#\[\]]*)(?::([^/?#]*))?/?$)"));
    const QString rest = text.mid(scheme.size());
    if (rest.count(u':') > 1 && !rest.startsWith(u'['))
        return fail(tr("an IPv6 address must be written in brackets, as in pjlink://[::1]"));
    const auto m = shape.match(rest);
    if (!m.hasMatch())
        return fail(tr("unexpected text after the host or port"));
    QString host = m.captured(1);
    if (host.startsWith(u'[')) {
        host = host.mid(1, host.size() - 2);
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
            return fail(tr("\"[%1]\" is not an IPv6 address").arg(host));
    } else {
        static const QRegularExpression hostName(QStringLiteral(R"(^[A-Za-z0-9._-]+$)"));
        if (host.isEmpty())
            return fail(tr("no host is given"));
        if (!hostName.match(host).hasMatch())
            return fail(tr("\"%1\" is not a host name or address").arg(host));
    }
    quint16 port = kDefaultPort;
    if (m.capturedStart(2) >= 0) {
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
        const uint value = m.captured(2).toUInt();
        if (!digits.match(m.captured(2)).hasMatch() || value < 1 || value > 65535)
            return fail(tr("the TCP port must be 1 to 65535, not \"%1\"").arg(m.captured(2)));
        port = quint16(value);
    }
    url->host = host;
    url->port = port;
    return true;
}

QString PjlinkUrl::Address() const
{
    const QString shown = host.contains(u':') ? u'[' + host + u']' : host;
    return shown + u':' + QString::number(port);
}
