// Checks that a call throws the serial control's error with a given code.
#pragma once

#include "serial/CommError.h"

#include <QDebug>
#include <QString>

#include <functional>

// Runs `f`, which must throw a CommError with `code`; returns its
// description, or an empty string (with a warning saying what happened).
inline QString expectError(CommErrorCode code, const std::function<void()>& f)
{
    try {
        f();
    } catch (const CommError& e) {
        if (e.code() != code)
            qWarning() << "unexpected error" << int(e.code()) << e.description();
        return e.code() == code ? e.description() : QString();
    }
    qWarning() << "no error thrown";
    return {};
}
