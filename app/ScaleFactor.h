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

    // Before the application starts: looks at the screen the program will
    // open on and, if the rounded factor does not let `window` fit there,
    // has Qt use the fitting one (QT_SCALE_FACTOR, with the screens' own
    // factors off). Leaves a factor the user chose through Qt's variables alone.
    static void ChooseBeforeStart(int argc, char* argv[], QSize window);
};
