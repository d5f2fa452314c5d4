// The application icon for the desktop's icon theme: the .ico images
// enlarged by whole pixels (every pixel a solid square, never smoothed) and
// encoded as palette PNG files with no time or text chunks, so a fresh run
// gives the same bytes.
#pragma once

#include "DibWriter.h"

#include <QByteArray>

class ThemeIcon
{
public:
    // Every pixel of the image becomes a factor x factor block.
    static IconImage Enlarged(const IconImage& image, int factor);
    // A palette PNG of the image; if any pixel is clear, a transparent entry
    // follows the image's own palette.
    static QByteArray Png(const IconImage& image);
};
