#include "app/ScaleFactor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include <vector>

int ScaleFactor::Fitting(qreal desktopFactor, QSize available, QSize window)
{
    for (int factor = qMax(1, qRound(desktopFactor)); factor > 1; --factor)
        if (window.width() * factor <= available.width() &&
            window.height() * factor <= available.height())
            return factor;
    return 1;
}

void ScaleFactor::ChooseBeforeStart(int argc, char* argv[], QSize window)
{
    for (const char* name :
         {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING"})
        if (qEnvironmentVariableIsSet(name))
            return;
    int chosen = 0;
    {
        // A look at the screens with an application of its own, which takes
        // the arguments it understands out of a copy, not out of argv.
        std::vector<char*> arguments(argv, argv + argc + 1);
        int count = argc;
        QGuiApplication probe(count, arguments.data());
        QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const qreal factor = screen->devicePixelRatio();
        const QSize available = screen->availableGeometry().size() * factor;
        chosen = Fitting(factor, available, window);
        if (chosen == qRound(factor))
            return;
    }
    // The screens' own factors multiply with any other, so they go, and the
    // chosen one applies as a whole to every screen.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qputenv("QT_SCALE_FACTOR", QByteArray::number(chosen));
}
