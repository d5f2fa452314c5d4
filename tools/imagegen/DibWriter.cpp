#include "DibWriter.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

namespace
{
void put16(QByteArray& out, quint32 v)
{
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}

void put32(QByteArray& out, quint32 v)
{
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

int stride(int width, int bitCount)
{
    return ((width * bitCount + 31) / 32) * 4;
}

// BITMAPINFOHEADER; an icon image declares twice its height (colour + mask).
void infoHeader(QByteArray& out, int width, int height, int bitCount, quint32 imageSize,
                int colours)
{
    put32(out, 40);
    put32(out, quint32(width));
    put32(out, quint32(height));
    put16(out, 1);
    put16(out, quint32(bitCount));
    put32(out, 0); // BI_RGB
    put32(out, imageSize);
    put32(out, 0);
    put32(out, 0);
    put32(out, quint32(colours));
    put32(out, 0);
}

// The colour of pixel i as stored: transparent where the screen shows through.
QRgb colour(const IconImage& image, size_t i)
{
    return image.clear[i] ? qRgba(0, 0, 0, 0) : image.palette[image.index[i]];
}

void palette(QByteArray& out, const QList<QRgb>& colours)
{
    for (QRgb c : colours) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append(char(0));
    }
}
} // namespace

QByteArray DibWriter::Bitmap(const QImage& indexed)
{
    Q_ASSERT(indexed.format() == QImage::Format_Indexed8 && indexed.colorCount() == 256);
    const int w = indexed.width();
    const int h = indexed.height();
    const int rowBytes = stride(w, 8);
    const quint32 bitsOffset = 14 + 40 + 256 * 4;
    const quint32 imageSize = quint32(rowBytes * h);

    QByteArray out;
    out.append("BM");
    put32(out, bitsOffset + imageSize);
    put32(out, 0);
    put32(out, bitsOffset);
    infoHeader(out, w, h, 8, imageSize, 256);
    palette(out, indexed.colorTable());
    for (int y = h - 1; y >= 0; --y) {
        const uchar* line = indexed.constScanLine(y);
        out.append(reinterpret_cast<const char*>(line), w);
        out.append(QByteArray(rowBytes - w, '\0'));
    }
    return out;
}

QByteArray DibWriter::IconDib(const IconImage& image)
{
    const int w = image.width;
    const int h = image.height;
    const int colourStride = stride(w, image.bitCount);
    const int maskStride = stride(w, 1);
    const quint32 imageSize = quint32((colourStride + maskStride) * h);

    QByteArray out;
    infoHeader(out, w, 2 * h, image.bitCount, imageSize, 0);
    if (image.bitCount == 32) {
        for (int y = h - 1; y >= 0; --y)
            for (int x = 0; x < w; ++x)
                put32(out, colour(image, size_t(y * w + x)));
    } else {
        palette(out, image.palette);
        const int perByte = 8 / image.bitCount;
        for (int y = h - 1; y >= 0; --y) {
            QByteArray row(colourStride, '\0');
            for (int x = 0; x < w; ++x) {
                const int i = y * w + x;
                const quint8 v = image.clear[i] ? 0 : image.index[i];
                const int shift = 8 - image.bitCount * (x % perByte + 1);
                row[x / perByte] = char(uchar(row[x / perByte]) | (v << shift));
            }
            out.append(row);
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < w; ++x) {
            if (image.clear[y * w + x])
                row[x / 8] = char(uchar(row[x / 8]) | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out;
}

QByteArray DibWriter::IconPng(const IconImage& image)
{
    QImage argb(image.width, image.height, QImage::Format_ARGB32);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            argb.setPixel(x, y, colour(image, size_t(y * image.width + x)));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    return writer.write(argb) ? bytes : QByteArray();
}

QByteArray DibWriter::Container(const QList<IconImage>& images, quint16 type, int hotX, int hotY)
{
    QList<QByteArray> dibs;
    for (const IconImage& image : images)
        dibs.append(image.width >= 256 ? IconPng(image) : IconDib(image));

    QByteArray out;
    put16(out, 0);
    put16(out, type);
    put16(out, quint32(images.size()));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        out.append(char(image.width & 0xff));
        out.append(char(image.height & 0xff));
        out.append(char(image.bitCount >= 8 ? 0 : 1 << image.bitCount));
        out.append(char(0));
        if (type == 2) {
            put16(out, quint32(hotX));
            put16(out, quint32(hotY));
        } else {
            put16(out, 1);
            put16(out, quint32(image.bitCount));
        }
        put32(out, quint32(dibs[i].size()));
        put32(out, offset);
        offset += quint32(dibs[i].size());
    }
    for (const QByteArray& dib : dibs)
        out.append(dib);
    return out;
}

QByteArray DibWriter::Icon(const QList<IconImage>& images)
{
    return Container(images, 1, 0, 0);
}

QByteArray DibWriter::Cursor(const IconImage& image, int hotX, int hotY)
{
    return Container({image}, 2, hotX, hotY);
}
