#include "serial/DeviceFactory.h"

#include "parts/PartLoader.h"
#include "serial/CommError.h"
#include "serial/DeviceUrl.h"
#include "serial/NetworkDeviceInterface.h"
#include "serial/TtyDevice.h"

std::unique_ptr<SerialDevice> MakeSerialDevice(const QString& portLabel, const QString& deviceName)
{
    if (!DeviceUrl::LooksLikeUrl(deviceName))
        return std::make_unique<TtyDevice>(portLabel, deviceName);
    const DeviceUrl url = DeviceUrl::Parse(portLabel, deviceName);
    QString error;
    const auto* network = PartLoader::Load<NetworkDeviceInterface>(QStringLiteral("network"), &error);
    if (!network)
        throw CommError(CommErrorCode::NoSuchDevice, error);
    return network->Make(portLabel, deviceName, url);
}
