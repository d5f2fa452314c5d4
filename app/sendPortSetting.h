#pragma once

#include <QString>

// The port `lumo send` uses without --port: the user's (or the system's)
// setting send/port ("COM2", or a device name), otherwise COM1.
QString sendPortSetting();
