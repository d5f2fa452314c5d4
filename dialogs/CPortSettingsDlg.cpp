#include "dialogs/CPortSettingsDlg.h"

#include "dialogs/ErrorReporter.h"
#include "res/Resources.h"
#include "serial/DeviceChoice.h"
#include "serial/InputLimit.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
constexpr int kPorts = 2;

// The name a user types for a device: Windows lists its ports as \\.\COM7,
// which is COM7 to anyone (and to the installers, which store COM7).
QString typedName(const QString& device)
{
    const QLatin1String windowsPrefix("\\\\.\\");
    return device.startsWith(windowsPrefix) ? device.mid(windowsPrefix.size()) : device;
}
} // namespace

QString CPortSettingsDlg::EntryText()
{
    return tr("Ports…");
}

CPortSettingsDlg::CPortSettingsDlg(QWidget* parent, const QList<FoundDevice>& found)
    : QDialog(parent)
{
    setWindowTitle(tr("Serial ports"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("Choose the device for each port, or type its path."), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* form = new QFormLayout;
    for (int port = 1; port <= kPorts; ++port) {
        auto* field = new QComboBox(this);
        field->setEditable(true);
        field->setInsertPolicy(QComboBox::NoInsert);
        field->setMinimumContentsLength(32);
        field->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        for (const FoundDevice& d : found)
            field->addItem(d.DisplayName(), typedName(d.path));
        const QString fallback = DeviceChoice::Fallback(port);
        if (field->findData(fallback) < 0)
            field->addItem(tr("%1 (the default)").arg(fallback), fallback);

        field->lineEdit()->setMaxLength(int(InputLimit::kDeviceName));
        const DeviceChoice::Answer current = DeviceChoice::Resolve(port);
        const bool tooLong = current.device.size() > InputLimit::kDeviceName;
        const int listed = field->findData(current.device);
        if (listed >= 0)
            field->setCurrentIndex(listed);
        else
            field->setEditText(tooLong ? QString() : current.device);
        field->setAccessibleName(QStringLiteral("COM%1").arg(port));
        m_fields[port - 1] = field;

        auto* label = new QLabel(QStringLiteral("COM%1:").arg(port), this);
        label->setBuddy(field);
        form->addRow(label, field);
        QString noteText;
        if (tooLong)
            noteText = InputLimit::TooLong(
                tr("the device name in %1").arg(DeviceChoice::Describe(port, current.source)),
                current.device, InputLimit::kDeviceName);
        else if (current.source == DeviceChoice::Source::CommandLine ||
                 current.source == DeviceChoice::Source::Environment)
            noteText = tr("For this run %1 sets COM%2 to %3.")
                           .arg(DeviceChoice::Describe(port, current.source))
                           .arg(port)
                           .arg(current.device);
        if (!noteText.isEmpty()) {
            auto* note = new QLabel(noteText, this);
            note->setWordWrap(true);
            form->addRow(QString(), note);
        }
    }
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    for (QAbstractButton* b : buttons->buttons())
        b->setCursor(Resources::HandCursor());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QComboBox* CPortSettingsDlg::Field(int port) const
{
    return port >= 1 && port <= kPorts ? m_fields[port - 1] : nullptr;
}

QString CPortSettingsDlg::ChosenDevice(int port) const
{
    const QComboBox* field = Field(port);
    if (!field)
        return {};
    const QString text = field->currentText().trimmed();
    // A listed entry shows more than its path; what was typed is the device.
    const int listed = field->findText(text, Qt::MatchExactly);
    if (listed >= 0)
        return field->itemData(listed).toString();
    return typedName(text);
}

void CPortSettingsDlg::accept()
{
    for (int port = 1; port <= kPorts; ++port) {
        const QString device = ChosenDevice(port);
        // The default is no choice of the user's: storing it would hide a
        // later change of the settings for all users. Otherwise nothing is
        // stored where nothing changed.
        std::optional<QString> error;
        if (device == DeviceChoice::Fallback(port))
            error = DeviceChoice::Save(port, QString());
        else if (device != DeviceChoice::Resolve(port).device)
            error = DeviceChoice::Save(port, device);
        if (error) {
            ErrorReporter::Show(this, *error, ErrorReporter::Kind::Error);
            return; // stays open: the choice is still there to try again or cancel
        }
    }
    QDialog::accept();
}
