// The compiled-in pictures, icons and cursor: formats, palettes, the pressed
// frame, label placement, shared pictograms, symbol sizes, the cursor's hot
// spot, and that the generator reproduces the committed files exactly.
#include "control/Commands.h"
#include "res/Resources.h"
#include "res/Utf8.h"
#include "res/resource.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QRect>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace
{
constexpr int kFrame = 2;
// Everything left of the label: the pictogram and the face around it.
const QRect kPictogramArea(kFrame, kFrame, 38 - kFrame, 40 - 2 * kFrame);

bool inFrame(int x, int y)
{
    return x < kFrame || y < kFrame || x >= 120 - kFrame || y >= 40 - kFrame;
}

quint32 le(const QByteArray& bytes, qsizetype at, int size)
{
    quint32 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | uchar(bytes.at(at + i));
    return v;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Ink bounding box of an icon image: every non-transparent pixel.
QRect inkBox(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                box |= QRect(x, y, 1, 1);
    return box;
}
} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void pictures_data();
    void pictures();
    void pictogramsShared_data();
    void pictogramsShared();
    void transportIcons_data();
    void transportIcons();
    void appIcon();
    void handCursor();
    void regeneration();
};

void TestResources::pictures_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRgb>("entry0");
    QTest::addColumn<int>("entries"); // entries the picture may use
    for (const Command& face : kCommands) {
        if (!face.IsPicture())
            continue;
        const QString caption = FromUtf8(face.picture);
        QRgb entry0 = qRgb(4, 3, 5);
        int entries = 256;
        if (caption == QLatin1String("A")) {
            entry0 = qRgb(4, 2, 4);
            entries = 106;
        } else if (caption.size() == 1) {
            entry0 = qRgb(4, 3, 4);
        }
        QTest::newRow(qPrintable(caption)) << caption << entry0 << entries;
    }
}

void TestResources::pictures()
{
    QFETCH(QString, caption);
    QFETCH(QRgb, entry0);
    QFETCH(int, entries);
    const QImage up = Resources::Picture(caption + QLatin1Char('U'));
    const QImage down = Resources::Picture(caption + QLatin1Char('D'));
    for (const QImage& image : {up, down}) {
        QCOMPARE(image.size(), QSize(120, 40));
        QCOMPARE(image.format(), QImage::Format_Indexed8);
        QCOMPARE(image.colorCount(), 256);
        QCOMPARE(image.color(0), entry0);
    }
    QCOMPARE(down.colorTable(), up.colorTable());
    for (int i = entries; i < 256; ++i)
        QCOMPARE(up.color(i), qRgb(0, 0, 0));
    // The twelve device buttons share one palette.
    if (entry0 == qRgb(4, 3, 5))
        QCOMPARE(up.colorTable(), Resources::Picture(QStringLiteral("SHIPINU")).colorTable());

    // Pressed: exactly the 624 frame pixels change, all to entry 0.
    int changed = 0;
    int minX = 120, maxX = -1, minY = 40, maxY = -1;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) {
            const int u = up.pixelIndex(x, y);
            const int d = down.pixelIndex(x, y);
            QVERIFY(u < entries);
            if (u != d) {
                ++changed;
                QVERIFY2(inFrame(x, y), qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
                QCOMPARE(d, 0);
            }
            if (u == 0 && !inFrame(x, y)) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        }
    QCOMPARE(changed, 624);

    // Label ink: entry 0 inside the frame, rows 11 to 28, centred on 76 to 79,
    // clear of the pictogram.
    QVERIFY(maxX >= 0);
    QVERIFY2(minY >= 11 && maxY <= 28,
             qPrintable(QStringLiteral("rows %1..%2").arg(minY).arg(maxY)));
    const double centre = (minX + maxX) / 2.0;
    QVERIFY2(centre >= 76 && centre <= 79, qPrintable(QStringLiteral("centre %1").arg(centre)));
    QVERIFY(minX > kPictogramArea.right());
    QVERIFY(maxX < 120 - kFrame);
}

void TestResources::pictogramsShared_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("same");
    const QSet<QString> shared = {QStringLiteral("TOUYINGKAI+TOUYINGGUAN"),
                                  QStringLiteral("ZHANSHITAI+SHUZIZHANTAI"), QStringLiteral("C+D")};
    const auto pictures = CommandsInSetupOrder<true>();
    for (size_t i = 0; i < pictures.size(); ++i)
        for (size_t j = i + 1; j < pictures.size(); ++j) {
            const QString a = FromUtf8(pictures[i]->picture);
            const QString b = FromUtf8(pictures[j]->picture);
            const bool same = shared.contains(a + QLatin1Char('+') + b) ||
                              shared.contains(b + QLatin1Char('+') + a);
            QTest::newRow(qPrintable(a + QLatin1Char('+') + b)) << a << b << same;
        }
}

void TestResources::pictogramsShared()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, same);
    const QImage a = Resources::Picture(first + QLatin1Char('U'));
    const QImage b = Resources::Picture(second + QLatin1Char('U'));
    int differing = 0;
    for (int y = kPictogramArea.top(); y <= kPictogramArea.bottom(); ++y)
        for (int x = kPictogramArea.left(); x <= kPictogramArea.right(); ++x)
            differing += a.pixel(x, y) != b.pixel(x, y);
    if (same)
        QCOMPARE(differing, 0);
    else
        QVERIFY2(differing > 20,
                 qPrintable(QStringLiteral("only %1 pixels differ").arg(differing)));
}

void TestResources::transportIcons_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("symbol");
    QTest::newRow("play") << IDI_PLAY << QSize(22, 22);
    QTest::newRow("pause") << IDI_PAUSE << QSize(18, 22);
    QTest::newRow("stop") << IDI_STOP << QSize(16, 16);
    QTest::newRow("previous") << IDI_PREVIOUS << QSize(24, 21);
    QTest::newRow("next") << IDI_NEXT << QSize(24, 21);
    QTest::newRow("rewind") << IDI_REWIND << QSize(22, 15);
    QTest::newRow("fast forward") << IDI_FAST_FORWARD << QSize(22, 15);
}

void TestResources::transportIcons()
{
    QFETCH(int, id);
    QFETCH(QSize, symbol);
    const QByteArray bytes = fileBytes(Resources::IconPath(id));
    QCOMPARE(le(bytes, 2, 2), 1u); // icon
    QCOMPARE(le(bytes, 4, 2), 1u); // one image
    const quint32 dib = le(bytes, 18, 4);
    QCOMPARE(le(bytes, dib + 14, 2), 4u);              // 16 colours
    QCOMPARE(le(bytes, dib + 40 + 4, 4), 0x00800000u); // entry 1: blue 0, green 0, red 128

    const QImage image(Resources::IconPath(id), "ICO");
    QCOMPARE(image.size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb c = image.pixel(x, y);
            QVERIFY2(qAlpha(c) == 0 || c == qRgb(128, 0, 0),
                     qPrintable(QStringLiteral("(%1, %2) = %3").arg(x).arg(y).arg(c, 8, 16)));
        }
    const QRect box = inkBox(image);
    QCOMPARE(box.size(), symbol);
    QVERIFY(std::abs(box.left() - (31 - box.right())) <= 1);
    QVERIFY(std::abs(box.top() - (31 - box.bottom())) <= 1);
    QVERIFY(!Resources::Icon(id).isNull());
}

void TestResources::appIcon()
{
    QImageReader reader(Resources::IconPath(IDR_MAINFRAME), "ico");
    QCOMPARE(reader.imageCount(), 2);
    const QList<QRgb> standard = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    QSet<int> sizes;
    for (int i = 0; i < 2; ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY(!image.isNull());
        QCOMPARE(image.width(), image.height());
        sizes.insert(image.width());
        QSet<QRgb> used;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                QCOMPARE(qAlpha(c), 255);
                QVERIFY(standard.contains(c));
                used.insert(c);
            }
        // Navy, blue, white, black and the cyan letters at least.
        for (QRgb c : {qRgb(0, 0, 128), qRgb(0, 0, 255), qRgb(255, 255, 255), qRgb(0, 0, 0),
                       qRgb(0, 255, 255)})
            QVERIFY(used.contains(c));
    }
    QCOMPARE(sizes, (QSet<int>{32, 16}));
}

void TestResources::handCursor()
{
    const QByteArray bytes = fileBytes(Resources::CursorPath(IDC_HAND_CURSOR));
    QCOMPARE(le(bytes, 2, 2), 2u);                     // cursor
    QCOMPARE(le(bytes, 10, 2), 5u);                    // hot spot x
    QCOMPARE(le(bytes, 12, 2), 0u);                    // hot spot y
    QCOMPARE(le(bytes, le(bytes, 18, 4) + 14, 2), 1u); // monochrome

    QCursor cursor;
    QVERIFY(Resources::Cursor(IDC_HAND_CURSOR, &cursor));
    QCOMPARE(cursor.hotSpot(), QPoint(5, 0));
    const QImage image = QImage(Resources::CursorPath(IDC_HAND_CURSOR), "ICO");
    QCOMPARE(image.size(), QSize(32, 32));
    const QRect box = inkBox(image);
    QVERIFY(QRect(0, 0, 17, 22).contains(box));
    int white = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb c = image.pixel(x, y);
            QVERIFY(qAlpha(c) == 0 || c == qRgb(0, 0, 0) || c == qRgb(255, 255, 255));
            white += c == qRgb(255, 255, 255);
            if (y == 0)
                QCOMPARE(qAlpha(c) != 0, x == 5 || x == 6);
        }
    QVERIFY(white > 100);
}

void TestResources::regeneration()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess generator;
    generator.start(QStringLiteral(IMAGEGEN), {QStringLiteral("--out"), dir.path()});
    QVERIFY(generator.waitForFinished(120000));
    if (generator.exitCode() == 3)
        QSKIP("the label font (WenQuanYi Bitmap Song 16 px, package xfonts-wqy) is not installed");
    QVERIFY2(generator.exitStatus() == QProcess::NormalExit && generator.exitCode() == 0,
             generator.readAllStandardError().constData());

    auto listing = [](const QString& root) {
        QStringList files;
        for (const char* sub : {"pictures", "icons", "cursors", "hicolor", "windows"}) {
            QDirIterator it(root + QLatin1Char('/') + QLatin1String(sub), QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext())
                files.append(QDir(root).relativeFilePath(it.next()));
        }
        files.sort();
        return files;
    };
    const QStringList committed = listing(QStringLiteral(RES_DIR));
    QCOMPARE(listing(dir.path()), committed);
    QCOMPARE(committed.size(), 32 + 8 + 1 + 6 + 1);
    for (const QString& file : committed)
        QVERIFY2(fileBytes(dir.filePath(file)) ==
                     fileBytes(QStringLiteral(RES_DIR) + QLatin1Char('/') + file),
                 qPrintable(file + QStringLiteral(" differs from a fresh run")));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
