#include "res/Resources.h"

#include "res/Utf8.h"
#include "res/resource.h"
#include "res/templates.h"

#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <QScreen>

#include <memory>

namespace
{
// Where the generator puts the hot spot of each cursor; .cur hot spots are not
// read by Qt's image reader, so they are kept here.
QPoint hotSpot(int id)
{
    return id == IDC_HAND_CURSOR ? QPoint(5, 0) : QPoint(0, 0);
}

// A reader for one format only. Left to guess, Qt loads every image plugin
// there is to ask it (a JPEG library among them), which costs start-up time
// and memory.
std::unique_ptr<QImageReader> readerFor(const QString& path, const char* format)
{
    auto reader = std::make_unique<QImageReader>(path, format);
    reader->setAutoDetectImageFormat(false);
    return reader;
}

// Pixel art is enlarged by whole factors without smoothing, so it stays
// crisp on high-density screens.
QImage enlarged(const QImage& image, int factor)
{
    return factor == 1
               ? image
               : image.scaled(image.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}
} // namespace

QString Resources::Text(std::string_view utf8)
{
    return FromUtf8(utf8);
}

QString Resources::String(int id)
{
    return id == IDS_SYSMENU_ENTRY ? Text(kSysMenuEntryText) : QString();
}

QString Resources::PicturePath(const QString& name)
{
    return QStringLiteral(":/pictures/%1.bmp").arg(name);
}

QString Resources::IconPath(int id)
{
    return QStringLiteral(":/icons/%1.ico").arg(id);
}

QString Resources::CursorPath(int id)
{
    return QStringLiteral(":/cursors/%1.cur").arg(id);
}

QImage Resources::Picture(const QString& name)
{
    const QString path = PicturePath(name);
    return QFile::exists(path) ? readerFor(path, "BMP")->read() : QImage();
}

QIcon Resources::Icon(int id)
{
    QList<QImage> images;
    const auto reader = readerFor(IconPath(id), "ICO");
    for (int i = 0; i < reader->imageCount() && reader->jumpToImage(i); ++i)
        images << reader->read();
    // Every image as drawn first, then its enlargement for each denser
    // screen there is, unless that size was drawn: Qt never has to scale
    // (and blur) one itself.
    QList<int> factors{1};
    if (qApp) {
        for (const QScreen* screen : QGuiApplication::screens())
            if (const int f = qRound(screen->devicePixelRatio()); !factors.contains(f))
                factors << f;
    }
    QIcon icon;
    QList<QSize> sizes;
    for (int factor : factors) {
        for (const QImage& image : images) {
            const QImage big = enlarged(image, factor);
            if (sizes.contains(big.size()))
                continue;
            sizes << big.size();
            icon.addPixmap(QPixmap::fromImage(big));
        }
    }
    return icon;
}

bool Resources::Cursor(int id, QCursor* out)
{
    const QImage image = readerFor(CursorPath(id), "ICO")->read();
    if (image.isNull())
        return false;
    const int factor = qApp ? qMax(1, qRound(qApp->devicePixelRatio())) : 1;
    QPixmap pixmap = QPixmap::fromImage(enlarged(image, factor));
    pixmap.setDevicePixelRatio(factor);
    const QPoint spot = hotSpot(id); // in the cursor's own pixels, whatever the screen
    *out = QCursor(pixmap, spot.x(), spot.y());
    return true;
}

QCursor Resources::HandCursor()
{
    QCursor cursor;
    return Cursor(IDC_HAND_CURSOR, &cursor) ? cursor : QCursor(Qt::PointingHandCursor);
}
