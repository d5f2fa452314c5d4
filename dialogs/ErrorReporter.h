// How the dialogs tell the user something went wrong: a message box with the
// dialog as parent. Every handler that touches the serial control runs
// inside Guard, so no exception ever reaches Qt's event loop. Tests replace
// the message box with a handler of their own.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

class ErrorReporter
{
    Q_DECLARE_TR_FUNCTIONS(ErrorReporter)

public:
    enum class Kind { Plain, Error };
    using Handler = std::function<void(QWidget* parent, const QString& text, Kind kind)>;

    // Shows `text` in a message box titled "Lumo" (or hands it to the handler).
    static void Show(QWidget* parent, const QString& text, Kind kind = Kind::Plain);
    // Replaces the message box; returns the previous handler. Empty: message box.
    static Handler SetHandler(Handler handler);

    // Runs `action`; whatever it throws is shown and goes no further: its
    // description, or a general message when what was thrown has none.
    static void Guard(QWidget* parent, const std::function<void()>& action) noexcept;
    // Shows the error, if there is one; nothing it throws goes further.
    static void Report(QWidget* parent, const std::optional<QString>& error) noexcept;
};
