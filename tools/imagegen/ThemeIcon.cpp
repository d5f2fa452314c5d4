#include "ThemeIcon.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <algorithm>

IconImage ThemeIcon::Enlarged(const IconImage& image, int factor)
{
    IconImage out = image;
    out.width = image.width * factor;
    out.height = image.height * factor;
    out.index.assign(size_t(out.width) * size_t(out.height), 0);
    out.clear.assign(size_t(out.width) * size_t(out.height), false);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const size_t from = size_t(y / factor) * size_t(image.width) + size_t(x / factor);
            const size_t to = size_t(y) * size_t(out.width) + size_t(x);
            out.index[to] = image.index[from];
            out.clear[to] = image.clear[from];
        }
    return out;
}

QByteArray ThemeIcon::Png(const IconImage& image)
{
    QList<QRgb> colours = image.palette;
    const int transparent = int(colours.size());
    if (std::find(image.clear.begin(), image.clear.end(), true) != image.clear.end())
        colours.append(qRgba(0, 0, 0, 0));

    QImage indexed(image.width, image.height, QImage::Format_Indexed8);
    indexed.setColorTable(colours);
    for (int y = 0; y < image.height; ++y) {
        uchar* line = indexed.scanLine(y);
        for (int x = 0; x < image.width; ++x) {
            const size_t i = size_t(y) * size_t(image.width) + size_t(x);
            line[x] = uchar(image.clear[i] ? transparent : image.index[i]);
        }
    }

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    return writer.write(indexed) ? bytes : QByteArray();
}
