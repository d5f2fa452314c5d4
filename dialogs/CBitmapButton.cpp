#include "dialogs/CBitmapButton.h"

#include "res/Resources.h"

#include <QFocusEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace
{
// The pictures' raised border is 2 pixels wide; the focus rectangle lies
// just inside it.
constexpr int kFocusInset = 3;
} // namespace

CBitmapButton::CBitmapButton(QWidget* parent) : QAbstractButton(parent) {}

bool CBitmapButton::AutoLoad()
{
    const QString base = text();
    m_up = Resources::Picture(base + u'U');
    if (m_up.isNull())
        return false;
    m_down = Resources::Picture(base + u'D');
    m_focus = Resources::Picture(base + u'F');
    m_disabled = Resources::Picture(base + u'X');
    resize(m_up.size()); // the top-left corner stays where the template put it
    update();
    return true;
}

QSize CBitmapButton::sizeHint() const
{
    return HasPictures() ? m_up.size() : size();
}

const QImage& CBitmapButton::currentPicture() const
{
    if (!isEnabled())
        return m_disabled.isNull() ? m_up : m_disabled;
    if (isDown())
        return m_down.isNull() ? m_up : m_down;
    if (hasFocus() && !m_focus.isNull())
        return m_focus;
    return m_up;
}

void CBitmapButton::paintEvent(QPaintEvent*)
{
    if (HasPictures()) {
        // Pixel for pixel; on a high-density screen, enlarged without smoothing.
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRect(QPoint(0, 0), m_up.size()), currentPicture());
        if (FocusVisible()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.state |= QStyle::State_KeyboardFocusChange; // styles draw it only then
            focus.rect = QRect(QPoint(0, 0), m_up.size())
                             .adjusted(kFocusInset, kFocusInset, -kFocusInset, -kFocusInset);
            focus.backgroundColor = palette().color(QPalette::Button);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        }
        return;
    }
    QStylePainter painter(this);
    QStyleOptionButton option;
    option.initFrom(this);
    option.text = text();
    if (isDown())
        option.state |= QStyle::State_Sunken;
    else
        option.state |= QStyle::State_Raised;
    painter.drawControl(QStyle::CE_PushButton, option);
}

void CBitmapButton::focusInEvent(QFocusEvent* event)
{
    switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
        m_keyboardFocus = true;
        break;
    case Qt::MouseFocusReason:
        m_keyboardFocus = false;
        break;
    default: // back to the window, out of a menu: as it was
        break;
    }
    QAbstractButton::focusInEvent(event);
}

void CBitmapButton::mousePressEvent(QMouseEvent* event)
{
    m_keyboardFocus = false;
    update();
    QAbstractButton::mousePressEvent(event);
}
