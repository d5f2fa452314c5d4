#include "dialogs/TemplateDialog.h"

#include "dialogs/CBitmapButton.h"
#include "res/Resources.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QContextMenuEvent>
#include <QShortcut>

QFont TemplateDialog::SongFont(int pointSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("NSimSun"),
                      QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("Source Han Serif SC"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPointSize(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

TemplateDialog::TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_template(dialogTemplate)
{
    setWindowTitle(Resources::Text(dialogTemplate.caption));
    setFont(SongFont(dialogTemplate.pointSize));
    setFixedSize(dialogTemplate.ClientSize());
    // Checked where the tables are built; a template made elsewhere that
    // breaks the rule is a programming error.
    Q_ASSERT(dialogTemplate.HasUniqueIds());
    const QCursor hand = Resources::HandCursor();
    for (const auto& control : dialogTemplate.controls) {
        if (QWidget* widget = createControl(control, hand)) {
            widget->setObjectName(QString::number(control.id));
            m_controls.insert(control.id, widget);
        }
    }
}

QWidget* TemplateDialog::createControl(const ControlTemplate& control, const QCursor& hand)
{
    const QRect rect = m_template.ToPixels(control);
    const QString text = Resources::Text(control.text);
    QWidget* widget = nullptr;
    switch (control.kind) {
    case ControlKind::SerialControl:
        return nullptr; // invisible at run time
    case ControlKind::StaticText: {
        auto* label = new QLabel(text, this);
        label->setGeometry(rect);
        // Shown whole: wider than its template rather than cut.
        if (label->sizeHint().width() > rect.width())
            label->resize(label->sizeHint().width(), rect.height());
        return label;
    }
    case ControlKind::RadioButton:
        widget = new QRadioButton(text, this);
        break;
    case ControlKind::PushButton:
        widget = new QPushButton(text, this);
        break;
    case ControlKind::IconButton: {
        auto* button = new QPushButton(this);
        button->setIconSize(QSize(32, 32));
        button->setAutoDefault(false);
        widget = button;
        break;
    }
    case ControlKind::OwnerDrawButton: {
        auto* button = new CBitmapButton(this);
        button->setText(text);
        widget = button;
        break;
    }
    }
    widget->setGeometry(rect);
    widget->setCursor(hand);
    // Radio buttons stay reachable from the keyboard, as a group.
    if (!(control.style & TabStop) && control.kind != ControlKind::RadioButton)
        widget->setFocusPolicy(Qt::ClickFocus);
    return widget;
}

void TemplateDialog::ShowExtraMenu(const QPoint& /*globalPos*/) {}

void TemplateDialog::OpenMenuOnShiftF10()
{
    auto* shortcut = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    connect(shortcut, &QShortcut::activated, this, [this] {
        QWidget* anchor = focusWidget() ? focusWidget() : this;
        ShowExtraMenu(anchor->mapToGlobal(anchor->rect().center()));
    });
}

void TemplateDialog::contextMenuEvent(QContextMenuEvent* event)
{
#ifdef Q_OS_WIN
    QDialog::contextMenuEvent(event); // the entries live in the real system menu there
#else
    ShowExtraMenu(event->globalPos());
#endif
}
