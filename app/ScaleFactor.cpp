#include "app/ScaleFactor.h"

#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include <vector>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

int ScaleFactor::Fitting(qreal desktopFactor, QSize available, QSize window)
{
    for (int factor = qMax(1, qRound(desktopFactor)); factor > 1; --factor)
        if (window.width() * factor <= available.width() &&
            window.height() * factor <= available.height())
            return factor;
    return 1;
}

namespace
{
// A factor the user chose through Qt's own variables is left alone.
bool userChose()
{
    for (const char* name :
         {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING"})
        if (qEnvironmentVariableIsSet(name))
            return true;
    return false;
}

// With an application running: the whole factor to use instead of Qt's
// rounded one, or 0 when that one lets `window` fit the screen the program
// opens on.
int refitted(QSize window)
{
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 0;
    const qreal factor = screen->devicePixelRatio();
    const QSize available = screen->availableGeometry().size() * factor;
    const int chosen = ScaleFactor::Fitting(factor, available, window);
    return chosen == qRound(factor) ? 0 : chosen;
}

// The screens' own factors multiply with any other, so they go, and the
// chosen one applies as a whole to every screen.
void useFactor(int factor)
{
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qputenv("QT_SCALE_FACTOR", QByteArray::number(factor));
}
} // namespace

void ScaleFactor::ChooseBeforeStart(int argc, char* argv[], QSize window)
{
#ifdef Q_OS_WIN
    if (userChose())
        return;
    int chosen = 0;
    {
        // A look at the screens with an application of its own, which takes
        // the arguments it understands out of a copy, not out of argv.
        std::vector<char*> arguments(argv, argv + argc + 1);
        int count = argc;
        QGuiApplication probe(count, arguments.data());
        chosen = refitted(window);
    }
    if (chosen)
        useFactor(chosen);
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    Q_UNUSED(window);
#endif
}

void ScaleFactor::CheckAfterStart(char* originalArgv[], QSize window)
{
#ifdef Q_OS_WIN
    Q_UNUSED(originalArgv);
    Q_UNUSED(window);
#else
    if (userChose())
        return;
    if (const int chosen = refitted(window)) {
        useFactor(chosen);
        ::execv(QFile::encodeName(QCoreApplication::applicationFilePath()).constData(),
                originalArgv);
        // Not started again: the program goes on at Qt's factor.
    }
#endif
}
