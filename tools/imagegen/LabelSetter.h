// Sets a button label in the 16-pixel bitmap Song face: the CJK glyphs come
// straight from the font's bitmaps (no smoothing, no hinting tricks), the few
// signs the labels need are drawn here so they have the weight and width the
// panel wants (a heavy oblique "/", narrow "+" and "-").
#pragma once

#include <QImage>
#include <QRawFont>
#include <QString>

class LabelSetter
{
public:
    // fontPath: a 16-pixel bitmap font file (PCF or similar).
    explicit LabelSetter(const QString& fontPath);

    bool IsValid() const { return font_.isValid() && font_.pixelSize() == 16; }

    // A Grayscale8 mask of size, 255 where the label has ink, 0 elsewhere.
    // Glyph cells are 16 pixels high starting on row cellTop; the ink is
    // centred horizontally on column centre (rounded to the pixel grid).
    QImage Set(const QString& text, QSize size, int cellTop, double centre) const;

private:
    // Draws one character at pen x of a strip 16 high; returns its advance.
    int DrawChar(QImage& strip, int x, QChar c, int spaceWidth) const;

    QRawFont font_;
};
