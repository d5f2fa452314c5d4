#include "app/CRemoteApp.h"
#include "app/ScaleFactor.h"
#include "res/Resources.h"
#include "res/resource.h"
#include "res/templates.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Whole scale factors only: the pictures are pixel art and are enlarged
    // by whole pixels.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::Round);
    // ...and only as large as lets the panel fit on the screen.
    ScaleFactor::ChooseBeforeStart(argc, argv, kPanelTemplate.ClientSize());
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumo"));
    QApplication::setOrganizationName(QStringLiteral("Lumo"));
    QApplication::setOrganizationDomain(QStringLiteral("lumopanel.net"));
    QApplication::setDesktopFileName(QStringLiteral("net.lumopanel.Lumo"));
    QApplication::setWindowIcon(Resources::Icon(IDR_MAINFRAME));

    CRemoteApp theApp;
    theApp.InitInstance();
    return 0;
}
