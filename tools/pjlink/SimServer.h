// The simulated projector's network side: the protocol on TCP, one
// conversation per connection (greeting, the password's digest before the
// first command when one is set, then a line per command), closed after
// an idle time; status notices by UDP to one address. Logs every command
// and its answer on stdout.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;
class SimProjector;

class SimServer : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype kMaxLine = 136;

    SimServer(SimProjector* projector, const QByteArray& password, int idleMs,
              QObject* parent = nullptr);

    bool Listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 Port() const;
    // Sends the notices to `address`:`port`, starting with the start-up one.
    void NotifyTo(const QHostAddress& address, quint16 port);
    // "12:00:00.000  TEXT" on stdout.
    static void Log(const QByteArray& text);

private:
    void onConnection();
    void onLine(QTcpSocket* socket, QByteArray line);
    void send(const QByteArray& line);

    SimProjector* m_projector;
    QByteArray m_password;
    int m_idleMs;
    QTcpServer* m_server = nullptr;
    QUdpSocket* m_udp = nullptr;
    QHostAddress m_noticeAddress;
    quint16 m_noticePort = 0;
};
