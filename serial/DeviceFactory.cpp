#include "serial/DeviceFactory.h"

#include "control/PartLoader.h"
#include "serial/CommError.h"
#include "serial/DeviceUrl.h"
#include "serial/TtyDevice.h"

std::unique_ptr<SerialDevice> MakeSerialDevice(const QString& portLabel, const QString& deviceName)
{
    if (!DeviceUrl::LooksLikeUrl(deviceName))
        return std::make_unique<TtyDevice>(portLabel, deviceName);
    const DeviceUrl url = DeviceUrl::Parse(portLabel, deviceName);
    QString error;
    const auto make = reinterpret_cast<NetworkDeviceMaker>(
        PartLoader::Resolve(QStringLiteral("network"), "lumo_make_network_device", &error));
    if (!make)
        throw CommError(CommErrorCode::NoSuchDevice, error);
    return std::unique_ptr<SerialDevice>(make(portLabel, deviceName, url));
}
