// A dialog laid out from a template: its caption, its font at the template's
// point size, a fixed client area and one widget per control at the
// template's position, created in template order (which is the tab order).
// Every button shows the hand cursor; nothing else does.
#pragma once

#include "res/DialogTemplate.h"

#include <QDialog>

#include <QHash>
#include <functional>

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

protected:
    // Shift+F10 opens the dialog's extra menu, as the Menu key and a right
    // click do: `show` gets where, the centre of the focused control.
    void OpenMenuOnShiftF10(std::function<void(const QPoint&)> show);

private:
    QWidget* createControl(const ControlTemplate& control, const QCursor& hand);

    const DialogTemplate& m_template;
    QHash<int, QWidget*> m_controls;
};
