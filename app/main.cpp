#include "app/AppIdentity.h"
#include "app/CRemoteApp.h"
#include "app/SendCommand.h"
#include "res/Resources.h"
#include "res/resource.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    // `lumo send COMMAND...`: no window, no display.
    if (argc > 1 && qstrcmp(argv[1], "send") == 0) {
        QCoreApplication app(argc, argv);
        SetApplicationIdentity();
        QTextStream out(stdout);
        QTextStream err(stderr);
        return SendCommand::Run(app.arguments().mid(1), out, err);
    }

    // Whole scale factors only: the pictures are pixel art and are enlarged
    // by whole pixels.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::Round);
    QApplication qapp(argc, argv);
    SetApplicationIdentity();
    QApplication::setDesktopFileName(QStringLiteral("net.lumopanel.Lumo"));
    QApplication::setWindowIcon(Resources::Icon(IDR_MAINFRAME));

    CRemoteApp theApp;
    theApp.InitInstance();
    return 0;
}
