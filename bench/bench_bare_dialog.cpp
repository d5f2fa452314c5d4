// The floor for any Qt program here: a bare dialog with the port dialog's
// three controls (the same labels, so the same fonts load) and nothing else.
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QRadioButton>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("bare"));
    dialog.setFixedSize(410, 102);
    auto* com1 = new QRadioButton(QStringLiteral("使用COM1口"), &dialog);
    auto* com2 = new QRadioButton(QStringLiteral("使用COM2口"), &dialog);
    auto* confirm = new QPushButton(QStringLiteral("确定"), &dialog);
    com1->setGeometry(78, 26, 112, 20);
    com2->setGeometry(78, 56, 112, 20);
    confirm->setGeometry(262, 34, 58, 28);
    com1->setChecked(true);
    QObject::connect(confirm, &QPushButton::clicked, &dialog, &QDialog::accept);
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
