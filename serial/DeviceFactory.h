// The one place that decides what kind of device a name is. The control, the
// dialogs and the command line hand it the port's label ("COM2") and the
// device's name as the user gave it, and get a closed device back: a path is
// a local serial device, rfc2217://HOST:PORT and socket://HOST:PORT a network
// serial server. A name that looks like a URL but is not one of those throws
// CommError, so nothing is ever sent to a half-understood address. Network
// devices come from the network part (NetworkDeviceInterface), which the
// panel on Linux loads the first time a port is a URL (see PartLoader).
#pragma once

#include "serial/SerialDevice.h"

#include <QString>

#include <memory>

std::unique_ptr<SerialDevice> MakeSerialDevice(const QString& portLabel, const QString& deviceName);
