#include "ButtonArt.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace
{
// Fixed-seed xorshift: the grain is the same on every run and machine.
class Grain
{
public:
    double Next() // uniform in [-1, 1)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return double(state_ % 20000u) / 10000.0 - 1.0;
    }

private:
    std::uint32_t state_ = 0x2545F491u;
};

double lerp(double a, double b, double t)
{
    return a + (b - a) * t;
}

// Light of the plate without grain: bright top bevel, a broad field falling
// from the top left towards the right end, dark bottom and right edges.
double light(int x, int y)
{
    const int w = ButtonArt::kSize.width();
    const int h = ButtonArt::kSize.height();
    const double t = double(x) / (w - 1);
    const double s = std::clamp((y - 6) / 30.0, 0.0, 1.0);
    double v = 201 - 50 * std::pow(t, 1.15) - 9 * s;
    // Top bevel: about 230 on the edge, easing into the field by row 4.
    static constexpr double kTop[] = {230, 222, 214, 206};
    if (y < 4)
        v = std::max(v, lerp(kTop[y], kTop[y] - 14, t));
    // Lit left edge.
    if (x == 0)
        v += 12;
    else if (x == 1)
        v += 5;
    // Shadowed bottom and right edges.
    if (y == h - 2)
        v = lerp(v, 138, 0.5);
    if (x == w - 2)
        v = lerp(v, 135, 0.5);
    if (y == h - 1)
        v = 138;
    if (x == w - 1)
        v = 135;
    return v;
}
} // namespace

QImage ButtonArt::Face()
{
    const int w = kSize.width();
    const int h = kSize.height();
    QImage face(kSize, QImage::Format_RGB32);
    Grain grain;
    for (int y = 0; y < h; ++y) {
        // Brushed metal: each row has its own slight tone and a streak that
        // wanders slowly along it.
        const double rowTone = 1.2 * grain.Next();
        double streak = 0;
        QRgb* line = reinterpret_cast<QRgb*>(face.scanLine(y));
        for (int x = 0; x < w; ++x) {
            streak = 0.8 * streak + 0.6 * grain.Next();
            const bool edge = y == 0 || y == h - 1 || x == w - 1;
            const double v = light(x, y) + (edge ? 0.0 : rowTone + 1.6 * streak);
            const int g = std::clamp(int(std::lround(v)), 0, 255);
            line[x] = qRgb(g, g, g);
        }
    }
    return face;
}

QImage ButtonArt::Drawing(const QImage& pictogram)
{
    QImage out = Face();
    const QImage pic = pictogram.convertToFormat(QImage::Format_ARGB32);
    auto opaque = [&pic](int x, int y) {
        return x >= 0 && y >= 0 && x < pic.width() && y < pic.height() && qAlpha(pic.pixel(x, y));
    };
    for (int y = 0; y <= pic.height(); ++y)
        for (int x = 0; x <= pic.width(); ++x) {
            const int ox = kPictogramAt.x() + x;
            const int oy = kPictogramAt.y() + y;
            if (ox >= out.width() || oy >= out.height())
                continue;
            if (opaque(x, y)) {
                out.setPixel(ox, oy, pic.pixel(x, y) | 0xff000000u);
            } else if (opaque(x - 1, y - 1)) {
                // Soft cast shadow, light from the top left.
                const int g = qGray(out.pixel(ox, oy)) * 80 / 100;
                out.setPixel(ox, oy, qRgb(g, g, g));
            }
        }
    return out;
}

QImage ButtonArt::Pressed(const QImage& up)
{
    QImage down = up.copy();
    for (int y = 0; y < down.height(); ++y)
        for (int x = 0; x < down.width(); ++x)
            if (x < kFrame || y < kFrame || x >= down.width() - kFrame ||
                y >= down.height() - kFrame)
                down.setPixel(x, y, 0);
    return down;
}
