// Compiled into every program that links the network serial device in (the
// service, the Windows program, the tests): the device factory makes network
// devices with it instead of loading the network part.
#include "control/PartLoader.h"
#include "serial/DeviceFactory.h"
#include "serial/NetworkSerialDevice.h"

namespace
{
const bool linked = [] {
    const NetworkDeviceMaker make = [](const QString& portLabel, const QString& deviceName,
                                       const DeviceUrl& url) -> SerialDevice* {
        return new NetworkSerialDevice(portLabel, deviceName, url);
    };
    PartLoader::Link("lumo_make_network_device", reinterpret_cast<QFunctionPointer>(make));
    return true;
}();
} // namespace
