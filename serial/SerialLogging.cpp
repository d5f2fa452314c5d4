#include "serial/SerialLogging.h"

// Warnings and worse come through as Qt's own do; the story of the work only
// when asked for.
Q_LOGGING_CATEGORY(lcSerial, "lumo.serial", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNet, "lumo.net", QtInfoMsg)
