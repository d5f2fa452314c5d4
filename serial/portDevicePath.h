#pragma once

#include <QString>

// The device that port number n names: $LUMO_COM<n> when it is set and not
// empty, otherwise COMn on Windows and /dev/ttyS<n-1> elsewhere.
QString portDevicePath(int port);
