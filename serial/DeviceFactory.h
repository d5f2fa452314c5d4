// The one place that decides what kind of device a name is. The control, the
// dialogs and the command line hand it the port's label ("COM2") and the
// device's name as the user gave it, and get a closed device back: a path is
// a local serial device, rfc2217://HOST:PORT and socket://HOST:PORT a network
// serial server. A name that looks like a URL but is not one of those throws
// CommError, so nothing is ever sent to a half-understood address.
#pragma once

#include "serial/SerialDevice.h"

#include <QString>

#include <memory>

class DeviceUrl;

std::unique_ptr<SerialDevice> MakeSerialDevice(const QString& portLabel, const QString& deviceName);

// How a network serial device is made. Programs that link the network device
// in set it once at start (serial/NetworkDeviceLinked.cpp does); the panel,
// which does not, loads the network part the first time a URL is opened.
using NetworkDeviceMaker = SerialDevice* (*)(const QString& portLabel, const QString& deviceName,
                                             const DeviceUrl& url);
void SetNetworkDeviceMaker(NetworkDeviceMaker maker);
