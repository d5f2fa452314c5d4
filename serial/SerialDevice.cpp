#include "serial/SerialDevice.h"

SerialDevice::~SerialDevice() = default;
