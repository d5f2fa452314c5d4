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

// The network part's entry point "lumo_make_network_device": the panel on
// Linux loads the part the first time a port is a URL (see PartLoader).
using NetworkDeviceMaker = SerialDevice* (*)(const QString& portLabel, const QString& deviceName,
                                             const DeviceUrl& url);
