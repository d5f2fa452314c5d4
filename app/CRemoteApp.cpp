#include "app/CRemoteApp.h"

#include "dialogs/CPortDlg.h"

#include <QApplication>
#include <QDialog>
#include <QPalette>

#include <cstdlib>

namespace
{
// How often a shutdown looks again for a dialog that showed after it began.
constexpr int kEndingIntervalMs = 50;
} // namespace

CRemoteApp::CRemoteApp()
{
    static const bool hooked = std::atexit(&CRemoteApp::releaseLineAtExit) == 0;
    Q_UNUSED(hooked);
    s_running = this;
    m_ending.setInterval(kEndingIntervalMs);
    // Again and again until the program ends: a dialog may show after the
    // first sweep (a message box about closing the line).
    QObject::connect(&m_ending, &QTimer::timeout, &CRemoteApp::EndAllDialogs);
    QObject::connect(&m_signals, &ShutdownSignals::received, [this] {
        EndAllDialogs();
        m_ending.start();
    });
}

CRemoteApp::~CRemoteApp()
{
    if (s_running == this)
        s_running = nullptr;
}

void CRemoteApp::SetDialogBkColor()
{
    const QPalette standard = QApplication::palette();
    QPalette dialogs = standard;
    dialogs.setColor(QPalette::Window, QColor(255, 140, 220));
    dialogs.setColor(QPalette::WindowText, Qt::black);
    QApplication::setPalette(dialogs);
    // Menus keep the system's colours, as the window menu they stand in for does.
    QApplication::setPalette(standard, "QMenu");
}

bool CRemoteApp::InitInstance()
{
    // Ending the port dialog hides the last window while the panel is about
    // to show; that must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    CPortDlg dialog(m_serial);
    SetDialogBkColor();
    dialog.exec(); // however it ends, the program ends next
    return false;
}

void CRemoteApp::EndAllDialogs()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        if (auto* dialog = qobject_cast<QDialog*>(window))
            dialog->reject();
        else
            window->close(); // a menu
    }
}

void CRemoteApp::releaseLineAtExit()
{
    if (!s_running)
        return;
    try {
        s_running->m_serial.SetPortOpen(false);
    } catch (...) {
        // No display to say it on, and the program is ending anyway.
    }
}
