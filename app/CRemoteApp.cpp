#include "app/CRemoteApp.h"

#include "dialogs/CPortDlg.h"

#include <QApplication>
#include <QPalette>

CRemoteApp::CRemoteApp() = default;

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
