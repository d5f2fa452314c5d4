#include "serial/DeviceFactory.h"

#include "serial/TtyDevice.h"

std::unique_ptr<SerialDevice> MakeSerialDevice(const QString& portLabel,
                                               const QString& deviceName)
{
    return std::make_unique<TtyDevice>(portLabel, deviceName);
}
