// A QR code as a picture: black modules on white with the quiet zone of
// four modules round them, each module a square of `moduleSize` pixels.
#pragma once

#include <QImage>
#include <QString>

class QrImage
{
public:
    // A null image when the text does not fit in a QR code.
    static QImage Of(const QString& text, int moduleSize);
};
