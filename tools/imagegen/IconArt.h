// The icons and the cursor: the seven transport symbols, drawn from their
// exact shape sizes, and conversions of pixel-map drawings to the 16-colour,
// 32-bit and monochrome images of .ico and .cur files.
#pragma once

#include "DibWriter.h"

#include <QImage>
#include <QList>
#include <QRgb>
#include <QString>

class IconArt
{
public:
    static constexpr int kSize = 32;
    static constexpr int kSymbolIndex = 1; // dark red in the standard palette

    // The standard 16-colour palette.
    static QList<QRgb> StandardPalette();
    // The transport symbol of an icon number (IDI_PLAY ...), one colour on
    // transparent; an empty image for any other number.
    static IconImage Transport(int iconId);
    // A fully opaque 16-colour image of an ARGB drawing whose colours are all
    // in the standard palette; fails (empty index) on any other colour.
    static IconImage Standard16(const QImage& drawing, QString* error);
    // A monochrome cursor image of an ARGB drawing in black, white and
    // transparent; fails (empty index) on any other colour.
    static IconImage Monochrome(const QImage& drawing, QString* error);
    // The image in 32-bit colour, the background clear: every pixel of a
    // `background` colour reached from the edge without crossing another
    // colour (an outline keeps what it encloses).
    static IconImage Cutout(const IconImage& image, const QList<QRgb>& background);
    // The icon image as ARGB32, for the contact sheet.
    static QImage ToImage(const IconImage& image);

private:
    // A triangle w x h with its tip on the middle row; pointing right when
    // right is true. (x, y) is its top-left corner.
    static void Triangle(IconImage& image, int x, int y, int w, int h, bool right);
    static void Bar(IconImage& image, int x, int y, int w, int h);
    static IconImage Blank();
};
