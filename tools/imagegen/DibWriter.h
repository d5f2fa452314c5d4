// Encoders for the three device-independent-bitmap containers the program
// loads: 8-bit palette .bmp pictures, .ico icons and .cur cursors. Written by
// hand rather than through QImageWriter so every header field, the palette
// size and the bit depth are exactly what we choose, byte for byte. A 256 px
// icon image is stored as a PNG file, as Windows reads it since Vista.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRgb>

#include <vector>

class QImage;

// One image of an icon or cursor: palette indices plus the transparency mask.
struct IconImage {
    int width = 32;
    int height = 32;
    int bitCount = 4;          // 1, 4, or 32: the palette's colours stored as such
    QList<QRgb> palette;       // 2 or 16 entries
    std::vector<quint8> index; // width * height, top row first
    std::vector<bool> clear;   // true where the screen shows through
};

class DibWriter
{
public:
    // An uncompressed bottom-up 8-bit .bmp with all 256 palette entries.
    // The image must be Format_Indexed8 with exactly 256 colours.
    static QByteArray Bitmap(const QImage& indexed);
    // An .ico file holding the given images, largest first as given.
    static QByteArray Icon(const QList<IconImage>& images);
    // A .cur file with one image and its hot spot.
    static QByteArray Cursor(const IconImage& image, int hotX, int hotY);

private:
    static QByteArray Container(const QList<IconImage>& images, quint16 type, int hotX, int hotY);
    static QByteArray IconDib(const IconImage& image);
    static QByteArray IconPng(const IconImage& image);
};
