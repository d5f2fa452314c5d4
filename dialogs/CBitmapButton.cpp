#include "dialogs/CBitmapButton.h"

#include "res/Resources.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

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
