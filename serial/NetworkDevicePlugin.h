// The network part's plugin: liblumo-network.so, which the panel loads the
// first time a port is a URL, or the static plugin of a program that links
// the network device in.
#pragma once

#include "serial/NetworkDeviceInterface.h"

#include <QObject>

class NetworkDevicePlugin : public QObject, public NetworkDeviceInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID NetworkDeviceInterface_iid)
    Q_INTERFACES(NetworkDeviceInterface)

public:
    std::unique_ptr<SerialDevice> Make(const QString& portLabel, const QString& deviceName,
                                       const DeviceUrl& url) const override;
};
