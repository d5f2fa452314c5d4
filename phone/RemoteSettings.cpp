#include "phone/RemoteSettings.h"

#include <QSettings>

namespace
{
QVariant value(const QString& key)
{
    // A user's settings fall back to the system-wide ones by themselves.
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Lumo"),
                             QStringLiteral("Lumo"));
    return settings.value(key);
}
} // namespace

quint16 RemoteSettings::Port()
{
    bool ok = false;
    const int port = value(QStringLiteral("remote/port")).toString().trimmed().toInt(&ok);
    return ok && port > 0 && port <= 65535 ? quint16(port) : kDefaultPort;
}

QStringList RemoteSettings::HostNames()
{
    const QVariant names = value(QStringLiteral("remote/hostname"));
    QStringList list = names.typeId() == QMetaType::QStringList
                           ? names.toStringList()
                           : names.toString().split(QLatin1Char(','));
    for (QString& name : list)
        name = name.trimmed();
    list.removeAll(QString());
    return list;
}
