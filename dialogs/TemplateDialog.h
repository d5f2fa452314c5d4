// A dialog laid out from a template: its caption, its font at the template's
// point size, a fixed client area and one widget per control at the
// template's position, created in template order (which is the tab order).
// Every button shows the hand cursor; nothing else does.
#pragma once

#include "res/DialogTemplate.h"

#include <QDialog>

#include <QHash>

class TemplateDialog : public QDialog
{
    Q_OBJECT
public:
    TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent);

    // The widget of a control, or nullptr (the serial control has none).
    QWidget* Control(int id) const { return m_controls.value(id); }

    // The Song face at `pointSize`, falling back to a Song-style CJK face
    // this machine has.
    static QFont SongFont(int pointSize);

    // The dialog's extra menu at `globalPos`, opened by a right click or the
    // Menu key (on Windows its entries are in the window's system menu
    // instead); none unless a dialog has one.
    virtual void ShowExtraMenu(const QPoint& globalPos);

protected:
    // Shift+F10 opens the extra menu too, at the centre of the focused control.
    void OpenMenuOnShiftF10();
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* createControl(const ControlTemplate& control, const QCursor& hand);

    const DialogTemplate& m_template;
    QHash<int, QWidget*> m_controls;
};
