// The one place that decides what kind of device a name is. The control, the
// dialogs and the command line hand it the port's label ("COM2") and the
// device's name as the user gave it, and get a closed device back.
#pragma once

#include "serial/SerialDevice.h"

#include <QString>

#include <memory>

std::unique_ptr<SerialDevice> MakeSerialDevice(const QString& portLabel,
                                               const QString& deviceName);
