// The projector part's plugin: liblumo-pjlink.so, which a program loads the
// first time a room has a projector, or the static plugin of a program that
// links it in.
#pragma once

#include "control/ProjectorInterface.h"

#include <QObject>

class PjlinkPlugin : public QObject, public ProjectorInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ProjectorInterface_iid)
    Q_INTERFACES(ProjectorInterface)

public:
    ProjectorLink* Make(const QString& url, const QByteArray& password, QObject* parent,
                        QString* error) const override;
    ProjectorNotices* Listen(quint16 port, QObject* parent, QString* error) const override;
};
