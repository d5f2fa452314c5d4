// Lookup of the compiled-in resources: button pictures by name, icons and the
// cursor by number. A resource that is missing gives a null value; callers
// decide what to show instead.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QString>

#include <string_view>

class Resources
{
public:
    // A button picture, for example "SHIPINU"; null if there is none by that name.
    static QImage Picture(const QString& name);
    // An icon by resource number (IDR_MAINFRAME, IDI_PLAY, ...); null if unknown.
    static QIcon Icon(int id);
    // A cursor by resource number; nullopt-like: returns false when missing.
    static bool Cursor(int id, QCursor* out);
    // The hand cursor shown over buttons, or Qt's pointing hand if the resource is missing.
    static QCursor HandCursor();

    // A text of the string table (IDS_...); empty if there is none.
    static QString String(int id);
    // Text kept in the tables as UTF-8.
    static QString Text(std::string_view utf8);

    static QString PicturePath(const QString& name);
    static QString IconPath(int id);
    static QString CursorPath(int id);
};
