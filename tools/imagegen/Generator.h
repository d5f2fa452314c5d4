// Draws every picture, icon and cursor of the program and encodes them into
// their files. Pictures are drawn from the panel's face table (captions and
// labels) and the pixel maps compiled into this tool.
#pragma once

#include "LabelSetter.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QMap>
#include <QRgb>
#include <QString>

class Generator
{
public:
    struct Picture {
        QString name; // caption + "U" or "D"
        QImage image; // Indexed8, as stored
    };
    struct Icon {
        QString name;         // file name under icons/ or cursors/
        QList<QImage> images; // ARGB32, as the file holds them
    };

    explicit Generator(const QString& fontPath);

    // False, with a message, when the font or a pixel map cannot be used.
    bool Run(QString* error);

    // Relative path ("pictures/SHIPINU.bmp", "icons/150.ico", ...) to bytes.
    const QMap<QString, QByteArray>& Files() const { return files_; }
    const QList<Picture>& Pictures() const { return pictures_; }
    const QList<Icon>& Icons() const { return icons_; }

private:
    bool Map(const QString& name, QImage* out, QString* error) const;
    bool DrawPictures(QString* error);
    bool DrawIcons(QString* error);

    LabelSetter label_;
    QHash<QChar, QRgb> legend_;
    QMap<QString, QByteArray> files_;
    QList<Picture> pictures_;
    QList<Icon> icons_;
};
