// lumo-vc: a virtual controller for trying Lumo without the hardware.
//
//   eval "$(lumo-vc | head -n1)"   (or read the first line some other way)
//   lumo-vc [--dir DIR]            COM1 and COM2 as links in DIR; prints
//                                  LUMO_COM1=... LUMO_COM2=..., then one line
//                                  per byte received and per settings change
//   lumo-vc --layout               where every control of both dialogs lies,
//                                  in pixels of the client area, for scripts
//                                  that drive Lumo with the mouse
#include "VirtualController.h"
#include "control/ShutdownSignals.h"

#include "res/templates.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace
{
// "port 1001 78 56 112 20 使用COM2口": dialog, control ID, x, y, width, height,
// then the control's text (its picture name for picture buttons).
void printLayout(const char* dialog, const DialogTemplate& dialogTemplate)
{
    std::printf("%s 0 0 0 %d %d %.*s\n", dialog, dialogTemplate.ClientSize().width(),
                dialogTemplate.ClientSize().height(), int(dialogTemplate.caption.size()),
                dialogTemplate.caption.data());
    for (const ControlTemplate& control : dialogTemplate.controls) {
        const QRect r = dialogTemplate.ToPixels(control);
        std::printf("%s %d %d %d %d %d %.*s\n", dialog, control.id, r.x(), r.y(), r.width(),
                    r.height(), int(control.text.size()), control.text.data());
    }
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumo-vc"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stands in for the controller on COM1 and COM2 and shows what it receives."));
    parser.addHelpOption();
    const QCommandLineOption dirOption(
        QStringLiteral("dir"),
        QStringLiteral("Folder for the port links (default %1).")
            .arg(VirtualController::DefaultFolder().isEmpty()
                     ? QStringLiteral("a new folder in %1").arg(QDir::tempPath())
                     : VirtualController::DefaultFolder()),
        QStringLiteral("DIR"));
    const QCommandLineOption layoutOption(
        QStringLiteral("layout"),
        QStringLiteral("Print the dialogs' control rectangles in pixels and exit."));
    parser.addOption(dirOption);
    parser.addOption(layoutOption);
    parser.process(app);

    if (parser.isSet(layoutOption)) {
        printLayout("port", kPortTemplate);
        printLayout("panel", kPanelTemplate);
        return 0;
    }

    ShutdownSignals shutdown;
    VirtualController controller;
    QObject::connect(&shutdown, &ShutdownSignals::received, &app, [] { QCoreApplication::quit(); });
    QString error;
    const QString folder =
        parser.isSet(dirOption) ? parser.value(dirOption) : VirtualController::DefaultFolder();
    if (!controller.Start(folder, &error)) {
        std::fprintf(stderr, "lumo-vc: %s\n", qPrintable(error));
        return 1;
    }
    const int status = app.exec();
    controller.Stop();
    return status;
}
