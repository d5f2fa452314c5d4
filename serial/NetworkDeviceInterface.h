// What the network part (liblumo-network.so, or linked in) offers the device
// factory: network serial devices, rfc2217:// and socket://. Its version
// changes whenever this interface or the types it passes change.
#pragma once

#include "serial/SerialDevice.h"

#include <QtPlugin>

#include <memory>

class DeviceUrl;

class NetworkDeviceInterface
{
public:
    virtual ~NetworkDeviceInterface() = default;

    // A closed device for `url`, which the port `portLabel` was given as
    // `deviceName`.
    virtual std::unique_ptr<SerialDevice> Make(const QString& portLabel, const QString& deviceName,
                                               const DeviceUrl& url) const = 0;
};

#define NetworkDeviceInterface_iid "net.lumopanel.Lumo.NetworkDevice/1.0"
Q_DECLARE_INTERFACE(NetworkDeviceInterface, NetworkDeviceInterface_iid)
