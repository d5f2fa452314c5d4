#include "PaletteBuilder.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <vector>

namespace
{
struct Cluster {
    double r, g, b;
    double count;
};

double distance2(const Cluster& a, const Cluster& b)
{
    const double dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return 2 * dr * dr + 4 * dg * dg + 3 * db * db;
}

QRgb rgbOf(const Cluster& c)
{
    return qRgb(int(std::lround(c.r)), int(std::lround(c.g)), int(std::lround(c.b)));
}
} // namespace

PaletteBuilder::PaletteBuilder(QRgb entry0, int entries) : entry0_(entry0), entries_(entries) {}

void PaletteBuilder::AddDrawing(const QImage& drawing)
{
    drawings_.append(drawing.convertToFormat(QImage::Format_RGB32));
}

void PaletteBuilder::Build()
{
    // Ordered map: the clusters start sorted by colour, so the merge order
    // (and so the palette) does not depend on hashing.
    std::map<QRgb, double> histogram;
    for (const QImage& d : drawings_)
        for (int y = 0; y < d.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(d.constScanLine(y));
            for (int x = 0; x < d.width(); ++x)
                histogram[line[x] | 0xff000000u] += 1;
        }

    std::vector<Cluster> clusters;
    for (const auto& [colour, count] : histogram)
        clusters.push_back(
            {double(qRed(colour)), double(qGreen(colour)), double(qBlue(colour)), count});

    // Ward merging: join the pair whose merge adds the least squared error.
    const size_t target = size_t(entries_ - 1);
    while (clusters.size() > target) {
        double best = std::numeric_limits<double>::max();
        size_t bi = 0, bj = 1;
        for (size_t i = 0; i < clusters.size(); ++i)
            for (size_t j = i + 1; j < clusters.size(); ++j) {
                const Cluster& a = clusters[i];
                const Cluster& b = clusters[j];
                const double cost = a.count * b.count / (a.count + b.count) * distance2(a, b);
                if (cost < best) {
                    best = cost;
                    bi = i;
                    bj = j;
                }
            }
        Cluster& a = clusters[bi];
        const Cluster& b = clusters[bj];
        const double n = a.count + b.count;
        a = {(a.r * a.count + b.r * b.count) / n, (a.g * a.count + b.g * b.count) / n,
             (a.b * a.count + b.b * b.count) / n, n};
        clusters.erase(clusters.begin() + std::ptrdiff_t(bj));
    }

    // Darkest first after entry 0, then by colour: a stable, readable order.
    std::vector<QRgb> colours;
    for (const Cluster& c : clusters)
        colours.push_back(rgbOf(c));
    std::sort(colours.begin(), colours.end(), [](QRgb a, QRgb b) {
        const int la = qRed(a) * 2 + qGreen(a) * 4 + qBlue(a) * 3;
        const int lb = qRed(b) * 2 + qGreen(b) * 4 + qBlue(b) * 3;
        return la != lb ? la < lb : a < b;
    });

    used_ = 1 + int(colours.size());
    palette_.clear();
    palette_.append(entry0_);
    for (QRgb c : colours)
        palette_.append(c);
    while (palette_.size() < 256)
        palette_.append(qRgb(0, 0, 0));
}

int PaletteBuilder::Nearest(QRgb colour) const
{
    const Cluster c{double(qRed(colour)), double(qGreen(colour)), double(qBlue(colour)), 1};
    int best = 1;
    double bestDistance = std::numeric_limits<double>::max();
    for (int i = 1; i < used_; ++i) {
        const QRgb p = palette_[i];
        const double d = distance2(c, {double(qRed(p)), double(qGreen(p)), double(qBlue(p)), 1});
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

QImage PaletteBuilder::Map(const QImage& drawing, const QImage& entryZeroMask) const
{
    QImage out(drawing.size(), QImage::Format_Indexed8);
    out.setColorTable(palette_);
    QHash<QRgb, int> cache;
    for (int y = 0; y < drawing.height(); ++y) {
        uchar* line = out.scanLine(y);
        for (int x = 0; x < drawing.width(); ++x) {
            if (!entryZeroMask.isNull() && qGray(entryZeroMask.pixel(x, y)) != 0) {
                line[x] = 0;
                continue;
            }
            const QRgb colour = drawing.pixel(x, y) | 0xff000000u;
            auto it = cache.find(colour);
            if (it == cache.end())
                it = cache.insert(colour, Nearest(colour));
            line[x] = uchar(*it);
        }
    }
    return out;
}
