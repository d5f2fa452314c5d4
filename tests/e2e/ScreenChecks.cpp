#include "ScreenChecks.h"

#include "res/Utf8.h"

#include <QColor>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>

namespace ScreenChecks
{
bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
}

QString caption(const DialogTemplate& t)
{
    return FromUtf8(t.caption);
}

QString lineSettings(const Pty& pty)
{
    const termios t = pty.slaveTermios();
    return QStringLiteral("speed %1/%2 iflag %3 oflag %4 cflag %5 lflag %6")
        .arg(cfgetispeed(&t))
        .arg(cfgetospeed(&t))
        .arg(t.c_iflag, 0, 16)
        .arg(t.c_oflag, 0, 16)
        .arg(t.c_cflag, 0, 16)
        .arg(t.c_lflag, 0, 16);
}

bool is9600_8N1(const Pty& pty)
{
    const termios t = pty.slaveTermios();
    return cfgetospeed(&t) == B9600 && (t.c_cflag & (CSIZE | PARENB | CSTOPB)) == CS8;
}

QPoint controlCentre(const XWindow& window, const DialogTemplate& t, int controlId)
{
    return window.rect.topLeft() + t.ToPixels(*t.Find(controlId)).center();
}

QStringList clickAt(QPoint p)
{
    return {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
            QStringLiteral("click"), QStringLiteral("1")};
}

bool nearBlack(QRgb c)
{
    return qRed(c) < 48 && qGreen(c) < 48 && qBlue(c) < 48;
}

QList<QRgb> frameOf(const QImage& image, const QRect& r, int width)
{
    QList<QRgb> pixels;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (!r.adjusted(width, width, -width, -width).contains(x, y))
                pixels << image.pixel(x, y);
    return pixels;
}

int pinkShare(const QImage& image)
{
    qsizetype pink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            pink += image.pixel(x, y) == kPink;
    return int(100 * pink / qMax<qsizetype>(1, qsizetype(image.width()) * image.height()));
}

QString pictureFault(const QImage& panel, const QRect& picture)
{
    // 120 x 40: the picture's edge is drawn, the pixel beyond it is background.
    const QList<QRgb> edge = frameOf(panel, picture, 1);
    const QList<QRgb> beyond = frameOf(panel, picture.adjusted(-1, -1, 1, 1), 1);
    if (edge.contains(kPink))
        return QStringLiteral("background on the picture's edge");
    if (!std::all_of(beyond.begin(), beyond.end(), [](QRgb p) { return p == kPink; }))
        return QStringLiteral("drawn beyond 120 x 40");
    if (std::all_of(edge.begin(), edge.end(), nearBlack))
        return QStringLiteral("the edge is all black (drawn pressed?)");
    return {};
}
} // namespace ScreenChecks
