// One serial port of the controller: a pseudo-terminal pair whose slave side
// Lumo opens through a stable link, while we read the master side.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class Pty;
class QSocketNotifier;

class VirtualPort : public QObject
{
    Q_OBJECT
public:
    explicit VirtualPort(QString name, QObject* parent = nullptr);
    ~VirtualPort() override;

    // Opens the pair and links `linkPath` to the slave side.
    bool Open(const QString& linkPath, QString* error);
    void Close();

    QString Name() const { return m_name; }
    QString LinkPath() const { return m_linkPath; }
    // The line settings as the slave side's user left them, e.g. "9600 8N1".
    QString Settings() const;
    // Clears the exclusive-use flag that a program killed while it held the
    // line left behind (see the .cpp); true when there was one.
    bool ClearAbandonedLock();

signals:
    void byteReceived(unsigned char byte);

private:
    void readMaster();

    QString m_name;
    QString m_linkPath;
    // Its slave side stays open here, so the master never sees a hang-up
    // between users.
    std::unique_ptr<Pty> m_pty;
    QSocketNotifier* m_notifier = nullptr;
};
