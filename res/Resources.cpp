#include "res/Resources.h"

#include "res/resource.h"
#include "res/templates.h"

#include <QFile>
#include <QPixmap>

namespace
{
// Where the generator puts the hot spot of each cursor; .cur hot spots are not
// read by Qt's image reader, so they are kept here.
QPoint hotSpot(int id)
{
    return id == IDC_HAND_CURSOR ? QPoint(5, 0) : QPoint(0, 0);
}
} // namespace

QString Resources::Text(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
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
    return QFile::exists(path) ? QImage(path) : QImage();
}

QIcon Resources::Icon(int id)
{
    const QString path = IconPath(id);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

bool Resources::Cursor(int id, QCursor* out)
{
    const QPixmap pixmap(CursorPath(id), "ICO");
    if (pixmap.isNull())
        return false;
    const QPoint spot = hotSpot(id);
    *out = QCursor(pixmap, spot.x(), spot.y());
    return true;
}

QCursor Resources::HandCursor()
{
    QCursor cursor;
    return Cursor(IDC_HAND_CURSOR, &cursor) ? cursor : QCursor(Qt::PointingHandCursor);
}
