// The icon theme's pictures: whole-pixel enlargement, the palette PNG
// encoding, and that the committed files are the application icon's two
// images enlarged without smoothing.
#include "ThemeIcon.h"

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

// The theme's PNG files and the Windows program's icon: each image a
// whole-pixel enlargement of the application icon's 16 or 32 px drawing.
void TestThemeIcon::committed_data()
{
    QTest::addColumn<QString>("file"); // under res/; empty: the theme icon
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("drawn"); // the image of icons/128.ico it is made from
    for (int size : {16, 32, 48, 64, 128, 256})
        QTest::addRow("theme %d", size) << QString() << size << (size % 32 ? 16 : 32);
    for (int size : {16, 32, 48, 256})
        QTest::addRow("Windows %d", size) << "windows/lumo.ico" << size << (size % 32 ? 16 : 32);
}

void TestThemeIcon::committed()
{
    QFETCH(QString, file);
    QFETCH(int, size);
    QFETCH(int, drawn);
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
            QVERIFY2(image.pixel(x, y) == source.pixel(x / factor, y / factor),
                     qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
}

QTEST_MAIN(TestThemeIcon)
#include "tst_themeicon.moc"
