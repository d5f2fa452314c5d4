#include "serial/portDevicePath.h"

#include "serial/DeviceChoice.h"

QString portDevicePath(int port)
{
    return DeviceChoice::Resolve(port).device;
}
