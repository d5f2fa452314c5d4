#include "app/ServerSendPlugin.h"

int ServerSendPlugin::Run(const ServerSend::Options& options,
                          const QList<const Command*>& commands, QTextStream& err) const
{
    return ServerSend::Run(options, commands, err);
}
