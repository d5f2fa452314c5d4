#include "dialogs/ErrorReporter.h"

#include "serial/CommError.h"

#include <QMessageBox>

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
    box.exec();
}

ErrorReporter::Handler ErrorReporter::SetHandler(Handler h)
{
    return std::exchange(handler(), std::move(h));
}

void ErrorReporter::Guard(QWidget* parent, const std::function<void()>& action) noexcept
{
    try {
        try {
            action();
        } catch (const CommError& e) {
            Show(parent, e.description(), Kind::Error);
        } catch (const std::exception& e) {
            Show(parent, QString::fromLocal8Bit(e.what()), Kind::Error);
        } catch (...) {
            Show(parent, tr("The action failed for a reason that was not described."), Kind::Error);
        }
    } catch (...) {
        // Showing the message failed too; nothing more can be done from here.
    }
}
