// The icon theme's pictures: whole-pixel enlargement, the palette PNG
// encoding, the clear ground of the Windows icon's large images, and that
// the committed files are the application icon's two images enlarged
// without smoothing.
#include "IconArt.h"
#include "ThemeIcon.h"

#include <QFile>
#include <QtEndian>

#include <QImage>
#include <QImageReader>
#include <QtTest>

namespace
{
// A 2 x 2 image: four palette colours, the last pixel clear when asked.
IconImage checker(bool clearCorner)
{
    IconImage image;
    image.width = image.height = 2;
    image.palette = {qRgb(0, 0, 128), qRgb(255, 255, 255), qRgb(0, 255, 255), qRgb(0, 0, 0)};
    image.index = {0, 1, 2, 3};
    image.clear = {false, false, false, clearCorner};
    return image;
}

// The colour the image shows at (x, y), transparent where clear.
QRgb shown(const IconImage& image, int x, int y)
{
    const size_t i = size_t(y * image.width + x);
    return image.clear[i] ? qRgba(0, 0, 0, 0) : image.palette[image.index[i]];
}

// The ground of the application icon: the checked blue and the white.
const QList<QRgb> kGround{qRgb(0, 0, 128), qRgb(0, 0, 255), qRgb(255, 255, 255)};

// An image from rows of 'b' (blue) and 'W' (white, ground both) and 'k' (black).
IconImage drawn(const QStringList& rows)
{
    IconImage image;
    image.width = int(rows[0].size());
    image.height = int(rows.size());
    image.palette = {qRgb(0, 0, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    for (const QString& row : rows)
        for (QChar c : row) {
            image.index.push_back(quint8(QStringLiteral("kbW").indexOf(c)));
            image.clear.push_back(false);
        }
    return image;
}

// The image of that size in an .ico file under res/.
QImage iconImage(const QString& file, int size)
{
    QImageReader reader(QStringLiteral(RES_DIR "/") + file, "ico");
    for (int i = 0; i < reader.imageCount() && reader.jumpToImage(i); ++i) {
        const QImage image = reader.read();
        if (image.width() == size)
            return image.convertToFormat(QImage::Format_ARGB32);
    }
    return {};
}
} // namespace

class TestThemeIcon : public QObject
{
    Q_OBJECT

private slots:
    void encoded_data();
    void encoded();
    void cutout_data();
    void cutout();
    void committed_data();
    void committed();
};

void TestThemeIcon::encoded_data()
{
    QTest::addColumn<int>("factor");
    QTest::addColumn<bool>("clearCorner");
    QTest::addColumn<int>("colours"); // palette entries in the file
    QTest::newRow("as drawn") << 1 << false << 4;
    QTest::newRow("x3") << 3 << false << 4;
    QTest::newRow("x8, clear corner") << 8 << true << 5;
}

void TestThemeIcon::encoded()
{
    QFETCH(int, factor);
    QFETCH(bool, clearCorner);
    QFETCH(int, colours);
    const IconImage source = checker(clearCorner);
    const QByteArray png = ThemeIcon::Png(ThemeIcon::Enlarged(source, factor));
    QVERIFY(png.startsWith("\x89PNG"));
    QCOMPARE(ThemeIcon::Png(ThemeIcon::Enlarged(source, factor)), png);

    const QImage image = QImage::fromData(png, "PNG");
    QCOMPARE(image.size(), QSize(2 * factor, 2 * factor));
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QCOMPARE(image.colorCount(), colours);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(image.pixel(x, y), shown(source, x / factor, y / factor));
}

void TestThemeIcon::cutout_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("clear"); // '.' where clear
    QTest::newRow("outline keeps the white it encloses")
        << QStringList{"bWWWb", "WkkkW", "WkWkW", "WkkkW", "bWWWW"}
        << QStringList{".....", ".kkk.", ".kWk.", ".kkk.", "....."};
    QTest::newRow("a gap lets the ground in") << QStringList{"WWWW", "kkkW", "kWWW", "kkkk"}
                                              << QStringList{"....", "kkk.", "k...", "kkkk"};
    QTest::newRow("a corner is no gap") << QStringList{"WWWW", "WkkW", "kWkW", "WkkW"}
                                        << QStringList{"....", ".kk.", "kWk.", ".kk."};
}

// The ground reached from the edge goes, across blue and white alike;
// what an outline encloses stays.
void TestThemeIcon::cutout()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, clear);
    const IconImage out = IconArt::Cutout(drawn(rows), kGround);
    QCOMPARE(out.bitCount, 32);
    QStringList seen;
    for (int y = 0; y < out.height; ++y) {
        seen << QString();
        for (int x = 0; x < out.width; ++x)
            seen.last() += out.clear[size_t(y * out.width + x)] ? u'.' : rows[y][x];
    }
    QCOMPARE(seen, clear);
}

// The theme's PNG files and the Windows program's icon: each image a
// whole-pixel enlargement of the application icon's 16 or 32 px drawing.
void TestThemeIcon::committed_data()
{
    QTest::addColumn<QString>("file"); // under res/; empty: the theme icon
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("drawn"); // the image of icons/128.ico it is made from
    QTest::addColumn<int>("bits");  // per pixel in the .ico; 0: PNG
    for (int size : {16, 32, 48, 64, 128, 256})
        QTest::addRow("theme %d", size) << QString() << size << (size % 32 ? 16 : 32) << 0;
    // 48 and 256 px: 32-bit with a clear ground, 256 px as PNG.
    for (int size : {16, 32, 48, 256})
        QTest::addRow("Windows %d", size) << "windows/lumo.ico" << size << (size % 32 ? 16 : 32)
                                          << (size < 48 ? 4 : size < 256 ? 32 : 0);
}

void TestThemeIcon::committed()
{
    QFETCH(QString, file);
    QFETCH(int, size);
    QFETCH(int, drawn);
    QFETCH(int, bits);
    if (!file.isEmpty()) { // its entry, in the generator's order: the bits, or PNG data
        QFile ico(QStringLiteral(RES_DIR "/") + file);
        QVERIFY(ico.open(QIODevice::ReadOnly));
        const QByteArray bytes = ico.readAll();
        const char* entry = bytes.constData() + 6 + 16 * QList{32, 16, 48, 256}.indexOf(size);
        QCOMPARE(bits ? int(qFromLittleEndian<quint16>(entry + 6)) : 0, bits);
        QCOMPARE(bytes.mid(qFromLittleEndian<quint32>(entry + 12), 4) == "\x89PNG", bits == 0);
    }
    const QImage source = iconImage(QStringLiteral("icons/128.ico"), drawn);
    QVERIFY(!source.isNull());
    const QImage image =
        file.isEmpty()
            ? QImage(QStringLiteral(RES_DIR "/hicolor/%1x%1/apps/net.lumopanel.Lumo.png").arg(size))
            : iconImage(file, size);
    QCOMPARE(image.size(), QSize(size, size));
    const int factor = size / drawn;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            QVERIFY2(image.pixel(x, y) == source.pixel(x / factor, y / factor) ||
                         (bits != 4 && !file.isEmpty() && qAlpha(image.pixel(x, y)) == 0 &&
                          kGround.contains(source.pixel(x / factor, y / factor))),
                     qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
    // The corner is ground: clear where the image has a ground to clear.
    QCOMPARE(qAlpha(image.pixel(0, 0)), !file.isEmpty() && bits != 4 ? 0 : 255);
}

QTEST_MAIN(TestThemeIcon)
#include "tst_themeicon.moc"
