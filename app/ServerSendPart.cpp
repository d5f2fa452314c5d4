// `lumo send --server` in the network part (liblumo-network.so).
#include "app/ServerSend.h"

extern "C" Q_DECL_EXPORT int lumo_send_to_server(const ServerSend::Options& options,
                                                 const QList<const Command*>& commands,
                                                 QTextStream& err)
{
    return ServerSend::Run(options, commands, err);
}
