#include "serial/DeviceUrl.h"

#include "serial/CommError.h"

#include <QUrl>
#include <QRegularExpression>

#include <algorithm>

namespace
{
struct Scheme {
    QLatin1StringView name;
    DeviceUrl::Kind kind;
};
constexpr Scheme kSchemes[] = {
    {QLatin1StringView("rfc2217"), DeviceUrl::Kind::Rfc2217},
    {QLatin1StringView("socket"), DeviceUrl::Kind::RawTcp},
};
} // namespace

bool DeviceUrl::LooksLikeUrl(QStringView name)
{
    return name.contains(QLatin1StringView("://"));
}

DeviceUrl DeviceUrl::Parse(const QString& portLabel, const QString& name)
{
    const auto fail = [&](const QString& reason) {
        throw CommError(CommErrorCode::BadDeviceUrl,
                        QStringLiteral("%1: %2").arg(CommError::Where(portLabel, name), reason));
    };
    const qsizetype sep = name.indexOf(QLatin1StringView("://"));
    const QString scheme = name.left(sep).toLower();
    const QString rest = name.mid(sep + 3);

    DeviceUrl url;
    const auto known = std::find_if(std::begin(kSchemes), std::end(kSchemes),
                                    [&](const Scheme& s) { return scheme == s.name; });
    if (known == std::end(kSchemes))
        fail(tr("unknown kind of device \"%1://\" (use rfc2217://HOST:PORT or "
                "socket://HOST:PORT)")
                 .arg(scheme));
    url.kind = known->kind;

    // HOST, or [IPV6], then ":PORT" and nothing after it.
    static const QRegularExpression shape(
        QStringLiteral(R"(^(\[[^\]]*\]|[^:/?#\[\]]*)(?::([^/?#]*))?(.*)$)"));
    const auto m = shape.match(rest);
    QString host = m.captured(1);
    const QString portText = m.captured(2);
    const bool hasPort = m.capturedStart(2) >= 0;
    const QString tail = m.captured(3);

    if (rest.count(QLatin1Char(':')) > 1 && !rest.startsWith(QLatin1Char('[')))
        fail(tr("an IPv6 address must be written in brackets, as in %1://[::1]:PORT").arg(scheme));
    if (!m.hasMatch() || (!tail.isEmpty() && tail != QLatin1StringView("/")))
        fail(tr("unexpected \"%1\" after the port").arg(tail));
    if (host.startsWith(QLatin1Char('['))) {
        host = host.mid(1, host.size() - 2);
        // An IPv6 literal as URLs have it (QUrl also takes "[v1.x]" forms,
        // which are no address).
        QUrl literal;
        literal.setHost(QLatin1Char('[') + host + QLatin1Char(']'), QUrl::StrictMode);
        if (!literal.isValid() || !literal.host().contains(QLatin1Char(':')))
            fail(tr("\"[%1]\" is not an IPv6 address").arg(host));
    } else {
        static const QRegularExpression hostName(QStringLiteral(R"(^[A-Za-z0-9._-]+$)"));
        if (host.isEmpty())
            fail(tr("no host is given"));
        if (!hostName.match(host).hasMatch())
            fail(tr("\"%1\" is not a host name or address").arg(host));
    }
    if (!hasPort || portText.isEmpty())
        fail(tr("no TCP port is given (write %1://HOST:PORT)").arg(scheme));
    bool ok = false;
    const uint port = portText.toUInt(&ok, 10);
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (!digits.match(portText).hasMatch() || !ok || port < 1 || port > 65535)
        fail(tr("the TCP port must be 1 to 65535, not \"%1\"").arg(portText));

    url.host = host;
    url.port = quint16(port);
    return url;
}
