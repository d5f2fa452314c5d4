#include "serial/DeviceFactory.h"

#include "control/PartLoader.h"
#include "serial/CommError.h"
#include "serial/DeviceUrl.h"
#include "serial/TtyDevice.h"

#include <QMutex>

namespace
{
QMutex makerLock;
NetworkDeviceMaker networkMaker = nullptr;

NetworkDeviceMaker NetworkMaker()
{
    const QMutexLocker lock(&makerLock);
    if (!networkMaker) {
        QString error;
        networkMaker = reinterpret_cast<NetworkDeviceMaker>(
            PartLoader::Resolve(QStringLiteral("network"), "lumo_make_network_device", &error));
        if (!networkMaker)
            throw CommError(CommErrorCode::NoSuchDevice, error);
    }
    return networkMaker;
}
} // namespace

void SetNetworkDeviceMaker(NetworkDeviceMaker maker)
{
    const QMutexLocker lock(&makerLock);
    networkMaker = maker;
}

std::unique_ptr<SerialDevice> MakeSerialDevice(const QString& portLabel, const QString& deviceName)
{
    if (DeviceUrl::LooksLikeUrl(deviceName)) {
        const DeviceUrl url = DeviceUrl::Parse(portLabel, deviceName);
        return std::unique_ptr<SerialDevice>(NetworkMaker()(portLabel, deviceName, url));
    }
    return std::make_unique<TtyDevice>(portLabel, deviceName);
}
