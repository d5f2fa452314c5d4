// The whole scale factor the program runs at. Qt rounds the desktop's factor
// to the nearest whole one (the pictures are pixel art, enlarged by whole
// pixels), but at 150 % on a 1280-pixel screen that makes 2, and the fixed
// panel no longer fits: then a smaller whole factor is taken.
#pragma once

#include <QSize>

class ScaleFactor
{
public:
    // The largest whole factor, at most `desktopFactor` rounded, at which a
    // `window`-sized client area fits in `available` device pixels; 1 when
    // none does.
    static int Fitting(qreal desktopFactor, QSize available, QSize window);

    // Where the rounded factor does not let `window` fit the screen the
    // program opens on, Qt is made to use the fitting one (QT_SCALE_FACTOR,
    // with the screens' own factors off); a factor the user chose through
    // Qt's variables is left alone. Qt takes its factor when the application
    // starts, so:
    // - on Unix, CheckAfterStart() looks at the screen with the application
    //   running and, in the rare case that it must, starts the program again
    //   in the same process (execv) with the fitting factor; a start at a
    //   factor that fits costs nothing;
    // - on Windows, which cannot replace a running program, ChooseBeforeStart()
    //   looks at the screens with a short-lived application of its own.
    // main() calls both, in that order; each does nothing where the other acts.
    static void ChooseBeforeStart(int argc, char* argv[], QSize window);
    // `originalArgv`: the arguments as main() got them, before Qt took its own out.
    static void CheckAfterStart(char* originalArgv[], QSize window);
};
