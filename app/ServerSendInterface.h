// What the campus client's part (liblumo-client.so, or linked in) offers
// `lumo send --server`: ServerSend::Run, which speaks HTTP through Qt
// Network, so that a panel or a `lumo send` to a port never loads it. Its
// version changes whenever this interface or the types it passes change.
#pragma once

#include "app/ServerSend.h"

#include <QtPlugin>

class ServerSendInterface
{
public:
    virtual ~ServerSendInterface() = default;

    // ServerSend::Run.
    virtual int Run(const ServerSend::Options& options, const QList<const Command*>& commands,
                    QTextStream& err) const = 0;
};

#define ServerSendInterface_iid "net.lumopanel.Lumo.ServerSend/1.0"
Q_DECLARE_INTERFACE(ServerSendInterface, ServerSendInterface_iid)
