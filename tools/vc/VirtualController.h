// The controller: COM1 and COM2 as pseudo-terminals linked from one folder,
// and a console line for every byte and every change of line settings.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

class VirtualPort;

class VirtualController : public QObject
{
    Q_OBJECT
public:
    explicit VirtualController(QObject* parent = nullptr);
    ~VirtualController() override;

    // Creates the folder (mode 0700) and the links COM1 and COM2 in it. An
    // existing folder must be the user's own with mode 0700; an empty name
    // makes a new folder under the temporary folder.
    bool Start(const QString& folder, QString* error);
    // Removes the links, and the folder if it is left empty.
    void Stop();

    // The folder used when none is given: lumo-vc in the user's runtime
    // folder, or empty (a new one) when there is none.
    static QString DefaultFolder();

private:
    static bool isPrivateFolder(const QString& folder, QString* error);
    void checkSettings(VirtualPort* port, qsizetype index);
    void onByte(VirtualPort* port, qsizetype index, unsigned char byte);
    static void print(const QString& line);

    QString m_folder;
    int m_lock = -1;
    std::array<VirtualPort*, 2> m_ports{};
    std::array<QString, 2> m_settings;
    QTimer m_settingsPoll;
};
