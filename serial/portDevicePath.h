#pragma once

#include <QString>

// The device that port number n names: $LUMO_COM<n> when it is set and not
// empty, otherwise COMn on Windows and /dev/ttyS<n-1> elsewhere. A name
// whose bytes are not UTF-8 is replaced by the path it leads to, which a
// QString can carry.
QString portDevicePath(int port);
