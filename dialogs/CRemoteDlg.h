// The phone remote's dialog: the switch (off until the user switches it
// on), and while it is on the QR code of the link, the links as text (the
// default route's first) and how many phones are connected. The remote
// itself belongs to the panel and stays on when the dialog closes.
#pragma once

#include <QDialog>

class RemoteSwitch;
class QCheckBox;
class QLabel;

class CRemoteDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CRemoteDlg(RemoteSwitch& remote, QWidget* parent = nullptr);

    // The panel's menu entry that opens the dialog.
    static QString EntryText();

private:
    void onSwitch(bool on);
    void showState();

    RemoteSwitch& m_remote;
    QCheckBox* m_switch = nullptr;
    QLabel* m_code = nullptr;
    QLabel* m_hint = nullptr;
    QLabel* m_links = nullptr;
    QLabel* m_phones = nullptr;
    QLabel* m_problem = nullptr;
};
