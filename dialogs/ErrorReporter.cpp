#include "dialogs/ErrorReporter.h"

#include "control/Outcome.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QShortcut>

namespace
{
ErrorReporter::Handler& handler()
{
    static ErrorReporter::Handler h;
    return h;
}
} // namespace

void ErrorReporter::Show(QWidget* parent, const QString& text, Kind kind)
{
    if (handler()) {
        handler()(parent, text, kind);
        return;
    }
    QMessageBox box(kind == Kind::Error ? QMessageBox::Warning : QMessageBox::NoIcon,
                    QStringLiteral("Lumo"), text, QMessageBox::Ok, parent);
#ifndef Q_OS_WIN
    // Ctrl+C copies the message, as message boxes on Windows do, so that it
    // can be passed on to whoever looks after the room.
    QObject::connect(new QShortcut(QKeySequence::Copy, &box), &QShortcut::activated, &box,
                     [&box] { QGuiApplication::clipboard()->setText(box.text()); });
#endif
    box.exec();
}

ErrorReporter::Handler ErrorReporter::SetHandler(Handler h)
{
    return std::exchange(handler(), std::move(h));
}

void ErrorReporter::Report(QWidget* parent, const std::optional<QString>& error) noexcept
{
    if (!error)
        return;
    try {
        Show(parent, *error, Kind::Error);
    } catch (...) {
        // Showing the message failed too; nothing more can be done from here.
    }
}

void ErrorReporter::Guard(QWidget* parent, const std::function<void()>& action) noexcept
{
    Report(parent, Outcome::Of(action).Error());
}
