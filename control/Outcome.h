// What became of an action on the line: done, or the failure in the words
// the user is shown. Nothing an action throws goes past Outcome::Of, so a
// front end (a click, the session bus, `lumo send`) gets a value, never an
// exception.
#pragma once

#include "serial/CommError.h"

#include <QCoreApplication>
#include <QString>

#include <functional>
#include <optional>

class Outcome
{
    Q_DECLARE_TR_FUNCTIONS(Outcome)

public:
    // Runs `action` and says how it went: a CommError's description, another
    // exception's text, or a general message when what was thrown has none.
    static Outcome Of(const std::function<void()>& action) noexcept;

    bool Ok() const { return !m_message; }
    // The user's message; nothing when it succeeded.
    const std::optional<QString>& Error() const { return m_message; }
    // The kind of failure, where the line said; nullopt for a success or a
    // failure of another kind.
    std::optional<CommErrorCode> Code() const { return m_code; }

private:
    std::optional<QString> m_message;
    std::optional<CommErrorCode> m_code;
};
