#include "serial/NetworkDevicePlugin.h"

#include "serial/NetworkSerialDevice.h"

std::unique_ptr<SerialDevice> NetworkDevicePlugin::Make(const QString& portLabel,
                                                        const QString& deviceName,
                                                        const DeviceUrl& url) const
{
    return std::make_unique<NetworkSerialDevice>(portLabel, deviceName, url);
}
