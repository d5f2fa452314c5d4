#pragma once

#include <QString>

// The device that port number n names; serial/DeviceChoice.h says where the
// answer comes from.
QString portDevicePath(int port);
