#include "ContactSheet.h"

#include <QPainter>

namespace
{
constexpr int kZoom = 4;
constexpr int kMargin = 16;
constexpr int kCaption = 22;

void checkerboard(QImage& sheet)
{
    QPainter p(&sheet);
    for (int y = 0; y < sheet.height(); y += 8)
        for (int x = 0; x < sheet.width(); x += 8)
            p.fillRect(x, y, 8, 8,
                       ((x + y) / 8) % 2 ? QColor(204, 204, 204) : QColor(238, 238, 238));
}

QImage zoomed(const QImage& image, int zoom)
{
    return image.convertToFormat(QImage::Format_ARGB32)
        .scaled(image.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}
} // namespace

QImage ContactSheet::Draw(const Generator& generator)
{
    const QList<Generator::Picture>& pictures = generator.Pictures();
    const int cellW = 120 * kZoom;
    const int cellH = 40 * kZoom + kCaption;
    const int rows = int(pictures.size() + 1) / 2;
    const int picturesH = kMargin + rows * (cellH + kMargin);
    const int realH = 4 * (40 + 8) + kCaption + kMargin;
    const int iconsH = 2 * (32 * kZoom + kCaption + kMargin + 40) + kMargin;
    const int width = kMargin + 2 * (cellW + kMargin);

    QImage sheet(width, picturesH + realH + iconsH, QImage::Format_ARGB32);
    checkerboard(sheet);
    QPainter p(&sheet);
    QFont font = p.font();
    font.setPixelSize(14);
    p.setFont(font);
    p.setPen(Qt::black);

    // Up and down side by side, one button per row.
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        const int x = kMargin + int(i % 2) * (cellW + kMargin);
        const int y = kMargin + int(i / 2) * (cellH + kMargin);
        p.drawText(x, y + 15, pictures[i].name);
        p.drawImage(x, y + kCaption, zoomed(pictures[i].image, kZoom));
    }

    // The up pictures at their real size, four to a row as on the panel.
    int y = picturesH;
    p.drawText(kMargin, y + 15, QStringLiteral("Real size"));
    y += kCaption;
    int n = 0;
    for (const Generator::Picture& picture : pictures) {
        if (!picture.name.endsWith(QLatin1Char('U')))
            continue;
        p.drawImage(kMargin + (n % 4) * (120 + 8), y + (n / 4) * (40 + 8), picture.image);
        ++n;
    }

    // Icons at 4x, the small application icon and the cursor beside them.
    y = picturesH + realH;
    int x = kMargin;
    for (const Generator::Icon& icon : generator.Icons()) {
        p.drawText(x, y + 15, icon.name);
        int ix = x;
        for (const QImage& image : icon.images) {
            p.drawImage(ix, y + kCaption, zoomed(image, kZoom));
            p.drawImage(ix, y + kCaption + image.height() * kZoom + 4, image);
            ix += image.width() * kZoom + 8;
        }
        x = ix + 8;
        if (x + 2 * 32 * kZoom > width) {
            x = kMargin;
            y += 32 * kZoom + kCaption + kMargin + 40;
        }
    }
    return sheet;
}
