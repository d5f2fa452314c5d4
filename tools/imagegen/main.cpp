// imagegen: draws the panel's button pictures, the icons and the hand cursor.
//
//   imagegen --out DIR [--font FILE]     writes DIR/pictures/*.bmp,
//                                        DIR/icons/*.ico, DIR/cursors/*.cur,
//                                        DIR/hicolor/<n>x<n>/apps/*.png,
//                                        DIR/windows/lumo.ico
//   imagegen --sheet FILE.png [--font FILE]   writes a contact sheet
//
// The labels need the 16-pixel WenQuanYi Bitmap Song font. Exit status: 0 on
// success, 1 on bad usage or an unwritable file, 2 on a drawing error, 3 when
// the font is missing.
#include "ContactSheet.h"
#include "Generator.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

namespace
{
QString findFont()
{
    const QStringList candidates = {
        QStringLiteral("/usr/share/fonts/X11/misc/wenquanyi_12pt.pcf"),
        QStringLiteral("/usr/share/fonts/X11/misc/wenquanyi_12pt.pcf.gz"),
        QStringLiteral("/usr/share/fonts/wenquanyi/wenquanyi_12pt.pcf"),
    };
    for (const QString& path : candidates)
        if (QFileInfo::exists(path))
            return path;
    return {};
}

int fail(int status, const QString& message)
{
    std::fprintf(stderr, "imagegen: %s\n", qPrintable(message));
    return status;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Draws Lumo's pictures, icons and cursor."));
    parser.addHelpOption();
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("Write the resource files under <dir>."),
                                 QStringLiteral("dir"));
    const QCommandLineOption sheet(QStringLiteral("sheet"),
                                   QStringLiteral("Write a contact sheet to <png>."),
                                   QStringLiteral("png"));
    const QCommandLineOption font(QStringLiteral("font"),
                                  QStringLiteral("The 16-pixel label font <file>."),
                                  QStringLiteral("file"));
    parser.addOptions({out, sheet, font});
    parser.process(app);
    if (!parser.isSet(out) && !parser.isSet(sheet))
        return fail(1, QStringLiteral("nothing to do: give --out DIR and/or --sheet FILE.png"));

    const QString fontPath = parser.isSet(font) ? parser.value(font) : findFont();
    if (fontPath.isEmpty() || !QFileInfo::exists(fontPath))
        return fail(3, QStringLiteral("label font not found (WenQuanYi Bitmap Song 16 px, "
                                      "package xfonts-wqy)"));

    Generator generator(fontPath);
    QString error;
    if (!generator.Run(&error))
        return fail(2, error);

    if (parser.isSet(out)) {
        const QDir dir(parser.value(out));
        for (auto it = generator.Files().cbegin(); it != generator.Files().cend(); ++it) {
            const QString path = dir.filePath(it.key());
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                file.write(it.value()) != it.value().size())
                return fail(1, QStringLiteral("cannot write %1").arg(path));
        }
    }
    if (parser.isSet(sheet) && !ContactSheet::Draw(generator).save(parser.value(sheet), "PNG"))
        return fail(1, QStringLiteral("cannot write %1").arg(parser.value(sheet)));
    return 0;
}
