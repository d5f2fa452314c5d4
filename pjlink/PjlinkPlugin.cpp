#include "pjlink/PjlinkPlugin.h"

#include "pjlink/PjlinkNotifications.h"
#include "pjlink/PjlinkProjector.h"

ProjectorLink* PjlinkPlugin::Make(const QString& url, const QByteArray& password, QObject* parent,
                                  QString* error) const
{
    PjlinkUrl parsed;
    if (!PjlinkUrl::Parse(url, &parsed, error))
        return nullptr;
    return new PjlinkProjector(parsed, password, parent);
}

ProjectorNotices* PjlinkPlugin::Listen(quint16 port, QObject* parent, QString* error) const
{
    auto* notices = new PjlinkNotifications(parent);
    if (!notices->Listen(port, error)) {
        delete notices;
        return nullptr;
    }
    return notices;
}
