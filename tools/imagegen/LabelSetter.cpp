#include "LabelSetter.h"

#include <QList>

#include <cmath>

namespace
{
constexpr int kCell = 16;

void ink(QImage& strip, int x, int y)
{
    if (x >= 0 && x < strip.width() && y >= 0 && y < strip.height())
        strip.scanLine(y)[x] = 255;
}
} // namespace

LabelSetter::LabelSetter(const QString& fontPath) : font_(fontPath, kCell, QFont::PreferNoHinting)
{
}

int LabelSetter::DrawChar(QImage& strip, int x, QChar c, int spaceWidth) const
{
    switch (c.unicode()) {
    case ' ':
        return spaceWidth;
    case '/': {
        // Heavy oblique: a three-pixel stroke leaning four pixels over 14
        // rows, with no side bearing of its own: the glyphs either side
        // bring theirs.
        for (int row = 0; row < 14; ++row) {
            const int left = (13 - row) * 4 / 13;
            for (int dx = 0; dx < 3; ++dx)
                ink(strip, x + left + dx, 1 + row);
        }
        return 7;
    }
    case '+':
        // Seven by seven, two-pixel strokes on the glyph's middle line.
        for (int i = 0; i < 8; ++i) {
            for (int t = 0; t < 2; ++t) {
                ink(strip, x + 1 + i, 6 + t);
                ink(strip, x + 4 + t, 3 + i);
            }
        }
        return 10;
    case '-':
        for (int i = 0; i < 8; ++i)
            for (int t = 0; t < 2; ++t)
                ink(strip, x + 1 + i, 6 + t);
        return 10;
    default:
        break;
    }
    const QList<quint32> glyphs = font_.glyphIndexesForString(QString(c));
    if (glyphs.isEmpty())
        return 0;
    const quint32 glyph = glyphs.first();
    const QImage bitmap = font_.alphaMapForGlyph(glyph, QRawFont::PixelAntialiasing);
    const QRectF box = font_.boundingRect(glyph);
    const int left = x + int(std::lround(box.x()));
    const int top = int(std::lround(font_.ascent() + box.y()));
    for (int by = 0; by < bitmap.height(); ++by)
        for (int bx = 0; bx < bitmap.width(); ++bx)
            if (qGray(bitmap.pixel(bx, by)) >= 128)
                ink(strip, left + bx, top + by);
    const QList<QPointF> advances = font_.advancesForGlyphIndexes(QList<quint32>{glyph});
    return int(std::lround(advances.first().x()));
}

QImage LabelSetter::Set(const QString& text, QSize size, int cellTop, double centre) const
{
    // The two-part screen labels are the widest; their word gap is kept a
    // little under half a cell so they fit right of the pictogram.
    const int spaceWidth = text.contains(QLatin1Char('/')) ? 4 : kCell / 2;

    QImage strip(kCell * (int(text.size()) + 1), kCell, QImage::Format_Grayscale8);
    strip.fill(0);
    int pen = 0;
    for (QChar c : text)
        pen += DrawChar(strip, pen, c, spaceWidth);

    int minX = strip.width();
    int maxX = -1;
    for (int y = 0; y < strip.height(); ++y) {
        const uchar* line = strip.constScanLine(y);
        for (int x = 0; x < strip.width(); ++x) {
            if (line[x]) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
        }
    }
    QImage mask(size, QImage::Format_Grayscale8);
    mask.fill(0);
    if (maxX < 0)
        return mask;
    const int shift = int(std::floor(centre - (minX + maxX) / 2.0 + 0.5));
    for (int y = 0; y < strip.height(); ++y) {
        const uchar* line = strip.constScanLine(y);
        for (int x = minX; x <= maxX; ++x) {
            const int tx = x + shift;
            const int ty = y + cellTop;
            if (line[x] && tx >= 0 && tx < size.width() && ty >= 0 && ty < size.height())
                mask.scanLine(ty)[tx] = 255;
        }
    }
    return mask;
}
