// A button drawn from pictures: caption + "U" while up, + "D" while held
// down, + "F" with the focus and + "X" when disabled where those exist, the
// up picture otherwise. Bound with AutoLoad, it takes the size of its up
// picture and keeps its top-left corner. Until bound, or when its up picture
// is missing, it is a plain button showing its caption. Given the focus from
// the keyboard, it shows the style's focus rectangle inside the picture's
// border; a mouse user sees the pictures alone.
#pragma once

#include <QAbstractButton>
#include <QImage>

class CBitmapButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit CBitmapButton(QWidget* parent = nullptr);

    // Loads the pictures named after the caption; false if there is no up picture.
    bool AutoLoad();
    bool HasPictures() const { return !m_up.isNull(); }

    QSize sizeHint() const override;
    // Whether the focus came from the keyboard (Tab, Shift+Tab, a shortcut)
    // and is shown.
    bool FocusVisible() const { return hasFocus() && m_keyboardFocus; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    const QImage& currentPicture() const;

    QImage m_up, m_down, m_focus, m_disabled;
    bool m_keyboardFocus = false;
};
