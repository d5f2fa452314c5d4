#include "dialogs/CRemoteDlg.h"

#include "dialogs/QrImage.h"
#include "phone/RemoteSwitch.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
constexpr int kModulePixels = 5;
} // namespace

QString CRemoteDlg::EntryText()
{
    return tr("Phone remote…");
}

CRemoteDlg::CRemoteDlg(RemoteSwitch& remote, QWidget* parent)
    : QDialog(parent), m_remote(remote)
{
    setWindowTitle(tr("Phone remote"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_switch = new QCheckBox(tr("Let phones on this network use the panel"), this);
    m_switch->setChecked(m_remote.IsOn());
    layout->addWidget(m_switch);

    m_problem = new QLabel(this);
    m_problem->setWordWrap(true);
    layout->addWidget(m_problem);

    m_code = new QLabel(this);
    m_code->setAlignment(Qt::AlignCenter);
    m_code->setAccessibleName(tr("QR code of the link"));
    layout->addWidget(m_code);

    m_hint = new QLabel(tr("Scan the code with a phone on the same network as this PC, or open:"),
                        this);
    m_hint->setWordWrap(true);
    layout->addWidget(m_hint);

    m_links = new QLabel(this);
    m_links->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(m_links);

    m_phones = new QLabel(this);
    layout->addWidget(m_phones);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setCursor(Qt::PointingHandCursor);
    layout->addWidget(buttons);

    connect(m_switch, &QCheckBox::toggled, this, &CRemoteDlg::onSwitch);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The remote outlives the dialog: what it is told to call ends with the dialog.
    m_remote.OnChanged([self = QPointer<CRemoteDlg>(this)] {
        if (self)
            self->showState();
    });
    showState();
}

void CRemoteDlg::onSwitch(bool on)
{
    if (!on) {
        m_remote.SwitchOff();
        m_problem->clear();
    } else if (m_remote.SwitchOn()) {
        m_problem->clear();
    } else {
        m_problem->setText(m_remote.ErrorString());
        const QSignalBlocker still(m_switch);
        m_switch->setChecked(false);
    }
    showState();
}

void CRemoteDlg::showState()
{
    const bool on = m_remote.IsOn();
    const QStringList links = m_remote.Links();
    m_problem->setVisible(!m_problem->text().isEmpty());
    m_code->setVisible(on);
    m_hint->setVisible(on);
    m_links->setVisible(on);
    m_phones->setVisible(on);
    if (!on)
        return;
    const QImage code = links.isEmpty() ? QImage() : QrImage::Of(links.first(), kModulePixels);
    m_code->setPixmap(QPixmap::fromImage(code));
    m_links->setText(links.join(QLatin1Char('\n')));
    m_phones->setText(tr("%n phone(s) connected", nullptr, m_remote.Phones()));
}
