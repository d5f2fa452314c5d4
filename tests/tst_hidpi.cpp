// Run at QT_SCALE_FACTOR 1 and 2: the panel's pictures, icons and cursor are
// drawn pixel for pixel at 1x and enlarged without smoothing at 2x.
#include "app/ScaleFactor.h"
#include "dialogs/CBitmapButton.h"
#include "dialogs/CPanelDlg.h"
#include "dialogs/ErrorReporter.h"
#include "res/Resources.h"
#include "res/resource.h"
#include "res/templates.h"
#include "serial/CMSComm.h"

#include <QApplication>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

namespace
{
QImage crisp(const QImage& image, int factor)
{
    return image.scaled(image.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .convertToFormat(QImage::Format_RGB32);
}
} // namespace

class TestHiDpi : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void pictureButtonsAreCrisp();
    void iconsAndCursorAreCrisp();
    void keyboardFocusIsDrawnInsideThePicture();
    void scaleFactorFitsTheScreen_data();
    void scaleFactorFitsTheScreen();

private:
    int m_factor = 1;
};

void TestHiDpi::initTestCase()
{
    m_factor = qRound(qApp->devicePixelRatio());
    QCOMPARE(qreal(m_factor), qApp->devicePixelRatio());
    qInfo("scale factor %d", m_factor);
}

void TestHiDpi::pictureButtonsAreCrisp()
{
    CMSComm serial;
    CPanelDlg panel(serial);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const QImage shot = panel.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(790, 520) * m_factor);

    for (CBitmapButton* button : panel.PictureButtons()) {
        const QRect area(button->pos() * m_factor, button->size() * m_factor);
        QCOMPARE(area.size(), QSize(120, 40) * m_factor);
        const QImage expected = crisp(Resources::Picture(button->text() + u'U'), m_factor);
        QVERIFY2(shot.copy(area) == expected, qPrintable(button->text()));
    }
}

void TestHiDpi::iconsAndCursorAreCrisp()
{
    CMSComm serial;
    CPanelDlg panel(serial);
    const auto* play = static_cast<QPushButton*>(panel.Control(IDC_PLAY));
    QImage drawn = play->icon().pixmap(QSize(32, 32), qreal(m_factor)).toImage();
    drawn.setDevicePixelRatio(1);
    QCOMPARE(drawn.size(), QSize(32, 32) * m_factor);
    const QImage original(Resources::IconPath(IDI_PLAY), "ICO");
    QCOMPARE(
        drawn.convertToFormat(QImage::Format_ARGB32),
        original.scaled(original.size() * m_factor, Qt::IgnoreAspectRatio, Qt::FastTransformation)
            .convertToFormat(QImage::Format_ARGB32));

    const QCursor hand = Resources::HandCursor();
    QCOMPARE(hand.pixmap().size(), QSize(32, 32) * m_factor);
    QCOMPARE(hand.pixmap().devicePixelRatio(), qreal(m_factor));
    QCOMPARE(hand.hotSpot(), QPoint(5, 0)); // the fingertip, in screen-independent pixels
}

// Focus from the keyboard draws a frame inside the picture's border, and
// nothing else; focus from the mouse leaves the picture as it is.
void TestHiDpi::keyboardFocusIsDrawnInsideThePicture()
{
    // The clicks send with no line open: said to nobody, not in a message box.
    const auto previous = ErrorReporter::SetHandler([](QWidget*, const QString&, auto) {});
    const auto restore = qScopeGuard([&] { ErrorReporter::SetHandler(previous); });
    CMSComm serial;
    CPanelDlg panel(serial);
    panel.show();
    QApplication::setActiveWindow(&panel);
    QVERIFY(QTest::qWaitForWindowActive(&panel));
    const int border = 2 * m_factor; // the pictures' raised edge
    for (CBitmapButton* button : panel.PictureButtons()) {
        const QRect area(button->pos() * m_factor, button->size() * m_factor);
        const QImage expected = crisp(Resources::Picture(button->text() + u'U'), m_factor);
        const auto drawn = [&] {
            return panel.grab().toImage().convertToFormat(QImage::Format_RGB32).copy(area);
        };

        panel.setFocus(Qt::OtherFocusReason);
        button->setFocus(Qt::TabFocusReason);
        QVERIFY(button->FocusVisible());
        const QImage focused = drawn();
        QVERIFY2(focused != expected, qPrintable(button->text()));
        const QRect inside = focused.rect().adjusted(border, border, -border, -border);
        QImage outside = focused, outsideExpected = expected;
        for (QImage* image : {&outside, &outsideExpected})
            for (int y = inside.top(); y <= inside.bottom(); ++y)
                for (int x = inside.left(); x <= inside.right(); ++x)
                    image->setPixel(x, y, 0);
        QVERIFY2(outside == outsideExpected,
                 qPrintable(button->text() + QStringLiteral(": border changed")));

        panel.setFocus(Qt::OtherFocusReason);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(button->hasFocus());
        QVERIFY(!button->FocusVisible());
        QVERIFY2(drawn() == expected, qPrintable(button->text()));
    }
}

void TestHiDpi::scaleFactorFitsTheScreen_data()
{
    QTest::addColumn<qreal>("desktop");
    QTest::addColumn<QSize>("available"); // device pixels
    QTest::addColumn<int>("chosen");
    const QSize hd(1280, 1024 - 40), fullHd(1920, 1080 - 40), uhd(3840, 2160 - 120);
    QTest::newRow("100 %") << 1.0 << hd << 1;
    QTest::newRow("150 % on 1280: 2 does not fit") << 1.5 << hd << 1;
    QTest::newRow("150 % on 1920: 2 fits") << 1.5 << QSize(1920, 1200 - 40) << 2;
    QTest::newRow("200 % on 1920 x 1080: fits") << 2.0 << fullHd << 2;
    QTest::newRow("200 % on 1920 x 1080, taller panel: 1") << 2.0 << QSize(1920, 1030) << 1;
    QTest::newRow("300 % on 3840: 3 fits") << 3.0 << uhd << 3;
    QTest::newRow("400 % on 3840: 4 is too wide, 3 fits") << 4.0 << uhd << 3;
    QTest::newRow("below 100 %") << 0.75 << hd << 1;
    QTest::newRow("smaller than the panel") << 1.0 << QSize(640, 480) << 1;
}

void TestHiDpi::scaleFactorFitsTheScreen()
{
    QFETCH(qreal, desktop);
    QFETCH(QSize, available);
    QFETCH(int, chosen);
    QCOMPARE(ScaleFactor::Fitting(desktop, available, kPanelTemplate.ClientSize()), chosen);
}

QTEST_MAIN(TestHiDpi)
#include "tst_hidpi.moc"
