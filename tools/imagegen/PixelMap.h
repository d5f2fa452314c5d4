// Pictograms, the application icon and the cursor are drawn as text pixel
// maps: one character per pixel, a legend from characters to colours. This
// reads them into images.
//
// File format, line by line:
//   # anything              a comment
//   X = #rrggbb             a legend entry (adds to or replaces the common one)
//   ........XXXX....        a row of pixels; '.' is always transparent
// Every row must have the same length.
#pragma once

#include <QHash>
#include <QImage>
#include <QRgb>
#include <QString>

class PixelMap
{
public:
    // The legend every map starts from, read from a file of legend lines.
    static bool ReadLegend(const QString& path, QHash<QChar, QRgb>* legend, QString* error);
    // The map at path as an ARGB32 image, transparent where '.'; a null image
    // and a message naming the file and line on any error.
    static QImage Read(const QString& path, const QHash<QChar, QRgb>& legend, QString* error);

private:
    static bool ParseLegendLine(const QString& line, QHash<QChar, QRgb>* legend);
};
