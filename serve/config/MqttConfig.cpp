#include "serve/config/MqttConfig.h"

#include <QCryptographicHash>

#include <QFileInfo>
#include <QHostInfo>
#include <QRegularExpression>
#include <QUrl>

namespace
{
const QRegularExpression kClientId(QStringLiteral("^[A-Za-z0-9_.-]{1,64}$"));
const QRegularExpression kUsername(QStringLiteral("^[^\\x00-\\x1f]{1,128}$"));
const QRegularExpression kNotNodeChar(QStringLiteral("[^A-Za-z0-9_-]"));

// A topic prefix: one or more levels, none empty, no wildcards, not a
// broker's own "$" topic.
bool isPrefix(const QString& value)
{
    if (value.isEmpty() || value.size() > MqttConfig::kMaxPrefixChars ||
        value.startsWith(QLatin1Char('$')))
        return false;
    for (const QString& level : value.split(QLatin1Char('/')))
        if (level.isEmpty() || level.contains(QLatin1Char('+')) ||
            level.contains(QLatin1Char('#')) || level.contains(QChar(0)))
            return false;
    return true;
}
} // namespace

QString MqttConfig::DefaultClientId()
{
    QString host = QHostInfo::localHostName().section(QLatin1Char('.'), 0, 0);
    host.replace(kNotNodeChar, QStringLiteral("_"));
    return (QStringLiteral("lumo-serve-") + host).left(64);
}

QString MqttConfig::Set(const QString& key, const QString& value)
{
    if (key == QLatin1String("broker")) {
        const QUrl url(value, QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() ||
            (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")) ||
            url.host().isEmpty() || !url.path().isEmpty() || !url.userInfo().isEmpty() ||
            url.port() == 0)
            return tr("broker=%1 is no broker address (for example mqtt://broker.example:1883 or "
                      "mqtts://broker.example:8883)")
                .arg(value.left(80));
        enabled = true;
        tls = scheme == QLatin1String("mqtts");
        host = url.host();
        port = quint16(url.port(tls ? kDefaultTlsPort : kDefaultPort));
    } else if (key == QLatin1String("ca") || key == QLatin1String("password_file")) {
        if (!QFileInfo(value).isFile() || !QFileInfo(value).isReadable())
            return tr("%1=%2 cannot be read").arg(key, value.left(200));
        (key == QLatin1String("ca") ? caFile : passwordFile) = value;
    } else if (key == QLatin1String("username")) {
        if (!kUsername.match(value).hasMatch())
            return tr("username= takes 1 to 128 characters");
        username = value;
    } else if (key == QLatin1String("prefix") || key == QLatin1String("discovery_prefix")) {
        if (!isPrefix(value))
            return tr("%1=%2 is no topic prefix: 1 to %3 characters, levels separated by \"/\", "
                      "none empty, no \"+\" or \"#\", not starting with \"$\"")
                .arg(key, value.left(80))
                .arg(kMaxPrefixChars);
        (key == QLatin1String("prefix") ? prefix : discoveryPrefix) = value;
    } else if (key == QLatin1String("client_id")) {
        if (!kClientId.match(value).hasMatch())
            return tr("client_id= takes 1 to 64 letters, digits, \".\", \"-\" or \"_\"");
        clientId = value;
    } else {
        return tr("unknown key \"%1\" in [mqtt] (known: broker, ca, username, password_file, "
                  "prefix, discovery_prefix, client_id)")
            .arg(key.left(64));
    }
    return {};
}

QString MqttConfig::Check() const
{
    if (!enabled)
        return tr("[mqtt] needs broker=, for example mqtt://broker.example:1883");
    if (!passwordFile.isEmpty() && username.isEmpty())
        return tr("password_file= needs username= in [mqtt]");
    if (!caFile.isEmpty() && !tls)
        return tr("ca= is for an mqtts:// broker");
    return {};
}

QString MqttConfig::RoomTopic(const QString& room, const char* leaf) const
{
    return prefix + QLatin1Char('/') + room + QLatin1Char('/') + QLatin1String(leaf);
}

QString MqttConfig::ServiceTopic(const char* leaf) const
{
    return prefix + QStringLiteral("/service/") + clientId + QLatin1Char('/') + QLatin1String(leaf);
}

QString MqttConfig::NodeId() const
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9-]+$"));
    if (plain.match(clientId).hasMatch())
        return clientId;
    const QByteArray hash = QCryptographicHash::hash(clientId.toUtf8(), QCryptographicHash::Sha256);
    return QString(clientId).replace(kNotNodeChar, QStringLiteral("_")) + QLatin1Char('_') +
           QString::fromLatin1(hash.toHex().left(12));
}
