// The campus client's plugin: liblumo-client.so, which `lumo send --server`
// loads, or the static plugin of a program that links the client in.
#pragma once

#include "app/ServerSendInterface.h"

#include <QObject>

class ServerSendPlugin : public QObject, public ServerSendInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ServerSendInterface_iid)
    Q_INTERFACES(ServerSendInterface)

public:
    int Run(const ServerSend::Options& options, const QList<const Command*>& commands,
            QTextStream& err) const override;
};
