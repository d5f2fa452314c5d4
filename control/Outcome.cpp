#include "control/Outcome.h"

Outcome Outcome::Of(const std::function<void()>& action) noexcept
{
    Outcome outcome;
    try {
        try {
            action();
            return outcome;
        } catch (const CommError& e) {
            outcome.m_code = e.code();
            outcome.m_message = e.description();
            return outcome;
        } catch (const std::exception& e) {
            outcome.m_message = QString::fromLocal8Bit(e.what());
            return outcome;
        }
    } catch (...) {
    }
    // Something that is no error of ours was thrown, or the text could not
    // be made: still a failure, never a success.
    try {
        outcome.m_code.reset();
        outcome.m_message = tr("The action failed for a reason that was not described.");
    } catch (...) {
        outcome.m_message = QString();
    }
    return outcome;
}
