// The serial layer's trace, off unless switched on (control/Logging.h says
// how): lumo.serial for opening, closing and each send on a line, lumo.net
// for a network serial server (the connection, each RFC 2217 setting asked
// for and the server's answer).
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSerial)
Q_DECLARE_LOGGING_CATEGORY(lcNet)
