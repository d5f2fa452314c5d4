// Run at QT_SCALE_FACTOR 1 and 2: the panel's pictures, icons and cursor are
// drawn pixel for pixel at 1x and enlarged without smoothing at 2x.
#include "dialogs/CBitmapButton.h"
#include "dialogs/CPanelDlg.h"
#include "res/Resources.h"
#include "res/resource.h"
#include "res/templates.h"
#include "serial/CMSComm.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

namespace {
QImage crisp(const QImage& image, int factor)
{
    return image.scaled(image.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .convertToFormat(QImage::Format_RGB32);
}
} // namespace

class TestHiDpi : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pictureButtonsAreCrisp();
    void iconsAndCursorAreCrisp();

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
    QCOMPARE(drawn.convertToFormat(QImage::Format_ARGB32),
             original
                 .scaled(original.size() * m_factor, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                 .convertToFormat(QImage::Format_ARGB32));

    const QCursor hand = Resources::HandCursor();
    QCOMPARE(hand.pixmap().size(), QSize(32, 32) * m_factor);
    QCOMPARE(hand.pixmap().devicePixelRatio(), qreal(m_factor));
    QCOMPARE(hand.hotSpot(), QPoint(5, 0)); // the fingertip, in screen-independent pixels
}

QTEST_MAIN(TestHiDpi)
#include "tst_hidpi.moc"
