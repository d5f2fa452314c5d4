// The status notices class 2 projectors send by UDP (port 4352) when their
// state changes: "%2LKUP=<MAC>" when one starts up, "%2POWR=", "%2ERST=",
// "%2INPT=", "%2AVMT=". Each goes to the watched projector whose address
// sent it; notices from other senders, from an address several watched
// projectors share (other ports behind one address), longer than a line or
// of another kind are dropped (`ignored` says why).
#pragma once

#include "control/ProjectorNotices.h"

#include <QHostAddress>
#include <QList>
#include <QPointer>

class PjlinkProjector;
class QUdpSocket;

class PjlinkNotifications : public ProjectorNotices
{
    Q_OBJECT
public:
    explicit PjlinkNotifications(QObject* parent = nullptr);

    bool Listen(quint16 port, QString* error);
    quint16 Port() const override;
    // `link` must be one the projector part made; its host is looked up
    // once (names resolve in the background).
    void Watch(ProjectorLink* link) override;

private:
    struct Watched {
        QPointer<PjlinkProjector> projector;
        QList<QHostAddress> addresses;
    };
    void onReadyRead();
    void onDatagram(const QHostAddress& sender, const QByteArray& datagram);

    QUdpSocket* m_socket = nullptr;
    QList<Watched> m_watched;
};
