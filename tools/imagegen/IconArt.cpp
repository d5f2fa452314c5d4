#include "IconArt.h"

#include "res/resource.h"

#include <QPoint>

#include <algorithm>
#include <cmath>
#include <vector>

QList<QRgb> IconArt::StandardPalette()
{
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

IconImage IconArt::Blank()
{
    IconImage image;
    image.width = image.height = kSize;
    image.bitCount = 4;
    image.palette = StandardPalette();
    image.index.assign(kSize * kSize, 0);
    image.clear.assign(kSize * kSize, true);
    return image;
}

void IconArt::Bar(IconImage& image, int x, int y, int w, int h)
{
    for (int row = y; row < y + h; ++row)
        for (int col = x; col < x + w; ++col) {
            image.index[row * kSize + col] = kSymbolIndex;
            image.clear[row * kSize + col] = false;
        }
}

void IconArt::Triangle(IconImage& image, int x, int y, int w, int h, bool right)
{
    // Column j counted from the tip covers the middle rows widened by
    // (h - 1) / 2 * j / (w - 1) each way; for an even height the tip is two
    // rows thick.
    const double half = (h - 1) / 2.0;
    for (int j = 0; j < w; ++j) {
        const double reach = w > 1 ? half * j / (w - 1) : half;
        const int top = std::max(0, int(std::ceil(half - reach - 0.5 - 1e-9)));
        const int bottom = h - 1 - top;
        const int col = right ? x + w - 1 - j : x + j;
        Bar(image, col, y + top, 1, bottom - top + 1);
    }
}

IconImage IconArt::Transport(int iconId)
{
    IconImage image = Blank();
    auto centred = [](int extent) { return (kSize - extent) / 2; };
    switch (iconId) {
    case IDI_PLAY:
        Triangle(image, centred(22), centred(22), 22, 22, true);
        break;
    case IDI_PAUSE:
        Bar(image, centred(18), centred(22), 7, 22);
        Bar(image, centred(18) + 11, centred(22), 7, 22);
        break;
    case IDI_STOP:
        Bar(image, centred(16), centred(16), 16, 16);
        break;
    case IDI_PREVIOUS:
        Bar(image, centred(24), centred(21), 3, 21);
        Triangle(image, centred(24) + 4, centred(21), 10, 21, false);
        Triangle(image, centred(24) + 14, centred(21), 10, 21, false);
        break;
    case IDI_NEXT:
        Triangle(image, centred(24), centred(21), 10, 21, true);
        Triangle(image, centred(24) + 10, centred(21), 10, 21, true);
        Bar(image, centred(24) + 21, centred(21), 3, 21);
        break;
    case IDI_REWIND:
        Triangle(image, centred(22), centred(15), 11, 15, false);
        Triangle(image, centred(22) + 11, centred(15), 11, 15, false);
        break;
    case IDI_FAST_FORWARD:
        Triangle(image, centred(22), centred(15), 11, 15, true);
        Triangle(image, centred(22) + 11, centred(15), 11, 15, true);
        break;
    default:
        return {};
    }
    return image;
}

IconImage IconArt::Standard16(const QImage& drawing, QString* error)
{
    IconImage image;
    image.width = drawing.width();
    image.height = drawing.height();
    image.bitCount = 4;
    image.palette = StandardPalette();
    image.clear.assign(size_t(image.width * image.height), false);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const QRgb c = drawing.pixel(x, y);
            const qsizetype i = image.palette.indexOf(c | 0xff000000u);
            if (qAlpha(c) != 255 || i < 0) {
                *error =
                    QStringLiteral("pixel (%1, %2) is not an opaque standard colour").arg(x).arg(y);
                return {};
            }
            image.index.push_back(quint8(i));
        }
    return image;
}

IconImage IconArt::Cutout(const IconImage& image, const QList<QRgb>& background)
{
    IconImage out = image;
    out.bitCount = 32;
    const int w = image.width;
    const int h = image.height;
    std::vector<QPoint> reached;
    const auto reach = [&](int x, int y) {
        const size_t i = size_t(y * w + x);
        if (x >= 0 && y >= 0 && x < w && y < h && !out.clear[i] &&
            background.contains(image.palette[image.index[i]])) {
            out.clear[i] = true;
            reached.push_back(QPoint(x, y));
        }
    };
    for (int i = 0; i < w; ++i) {
        reach(i, 0);
        reach(i, h - 1);
    }
    for (int i = 0; i < h; ++i) {
        reach(0, i);
        reach(w - 1, i);
    }
    while (!reached.empty()) {
        const QPoint p = reached.back();
        reached.pop_back();
        reach(p.x() - 1, p.y());
        reach(p.x() + 1, p.y());
        reach(p.x(), p.y() - 1);
        reach(p.x(), p.y() + 1);
    }
    return out;
}

IconImage IconArt::Monochrome(const QImage& drawing, QString* error)
{
    IconImage image;
    image.width = drawing.width();
    image.height = drawing.height();
    image.bitCount = 1;
    image.palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const QRgb c = drawing.pixel(x, y);
            const bool clear = qAlpha(c) == 0;
            const bool white = c == qRgb(255, 255, 255);
            if (!clear && !white && c != qRgb(0, 0, 0)) {
                *error =
                    QStringLiteral("pixel (%1, %2) is not black, white or clear").arg(x).arg(y);
                return {};
            }
            image.clear.push_back(clear);
            image.index.push_back(white ? 1 : 0);
        }
    return image;
}

QImage IconArt::ToImage(const IconImage& image)
{
    QImage out(image.width, image.height, QImage::Format_ARGB32);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const size_t i = size_t(y * image.width + x);
            out.setPixel(x, y, image.clear[i] ? 0u : image.palette[image.index[i]]);
        }
    return out;
}
