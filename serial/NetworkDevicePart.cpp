// The network serial device as a part of its own (liblumo-network.so), which
// the panel loads when a port is first given as a URL.
#include "serial/NetworkSerialDevice.h"

extern "C" Q_DECL_EXPORT SerialDevice* lumo_make_network_device(const QString& portLabel,
                                                                const QString& deviceName,
                                                                const DeviceUrl& url)
{
    return new NetworkSerialDevice(portLabel, deviceName, url);
}
