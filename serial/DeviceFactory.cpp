#include "serial/DeviceFactory.h"

#include "serial/DeviceUrl.h"
#include "serial/NetworkSerialDevice.h"
#include "serial/TtyDevice.h"

std::unique_ptr<SerialDevice> MakeSerialDevice(const QString& portLabel, const QString& deviceName)
{
    if (DeviceUrl::LooksLikeUrl(deviceName))
        return std::make_unique<NetworkSerialDevice>(portLabel, deviceName,
                                                     DeviceUrl::Parse(portLabel, deviceName));
    return std::make_unique<TtyDevice>(portLabel, deviceName);
}
