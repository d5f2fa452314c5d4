#include "pjlink/PjlinkNotifications.h"

#include "pjlink/PjlinkMessage.h"
#include "pjlink/PjlinkProjector.h"

#include <QHostInfo>
#include <QUdpSocket>

namespace
{
constexpr const char* kNotices[] = {"LKUP", "POWR", "ERST", "INPT", "AVMT"};

// The same address whether it came as IPv4 or as IPv4 mapped into IPv6.
QHostAddress plain(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}
} // namespace

PjlinkNotifications::PjlinkNotifications(QObject* parent) : ProjectorNotices(parent) {}

bool PjlinkNotifications::Listen(quint16 port, QString* error)
{
    m_socket = new QUdpSocket(this);
    if (!m_socket->bind(QHostAddress::Any, port)) {
        *error = tr("projector notices: cannot listen on UDP port %1: %2")
                     .arg(port)
                     .arg(m_socket->errorString());
        return false;
    }
    connect(m_socket, &QUdpSocket::readyRead, this, &PjlinkNotifications::onReadyRead);
    return true;
}

quint16 PjlinkNotifications::Port() const
{
    return m_socket ? m_socket->localPort() : 0;
}

void PjlinkNotifications::Watch(ProjectorLink* link)
{
    auto* projector = qobject_cast<PjlinkProjector*>(link);
    if (!projector)
        return;
    const QString host = projector->Client().Host();
    m_watched.append(Watched{projector, {}});
    const QHostAddress literal(host);
    if (!literal.isNull()) {
        m_watched.last().addresses = {plain(literal)};
        return;
    }
    QPointer<PjlinkProjector> watched = projector;
    QHostInfo::lookupHost(host, this, [this, watched](const QHostInfo& info) {
        for (Watched& entry : m_watched) {
            if (entry.projector == watched && watched) {
                for (const QHostAddress& address : info.addresses())
                    entry.addresses.append(plain(address));
            }
        }
    });
}

void PjlinkNotifications::onReadyRead()
{
    while (m_socket->hasPendingDatagrams()) {
        // Read at most one line and a byte: a longer datagram is dropped
        // whole, never held.
        QByteArray datagram(PjlinkMessage::kMaxLine + 1, Qt::Uninitialized);
        QHostAddress sender;
        const qint64 size = m_socket->readDatagram(datagram.data(), datagram.size(), &sender);
        if (size < 0)
            continue;
        if (size > PjlinkMessage::kMaxLine) {
            emit ignored(plain(sender).toString(),
                         tr("a notice longer than %1 bytes").arg(PjlinkMessage::kMaxLine));
            continue;
        }
        datagram.truncate(size);
        onDatagram(plain(sender), datagram);
    }
}

void PjlinkNotifications::onDatagram(const QHostAddress& sender, const QByteArray& datagram)
{
    m_watched.removeIf([](const Watched& entry) { return entry.projector.isNull(); });
    QList<PjlinkProjector*> projectors;
    for (const Watched& entry : std::as_const(m_watched))
        if (entry.addresses.contains(sender) && !projectors.contains(entry.projector))
            projectors.append(entry.projector);
    if (projectors.isEmpty()) {
        emit ignored(sender.toString(), tr("no projector watched has this address"));
        return;
    }
    // Its source port says nothing: whose notice it is cannot be told, and
    // the polls keep each of them right.
    if (projectors.size() > 1) {
        emit ignored(sender.toString(),
                     tr("%1 projectors watched have this address").arg(projectors.size()));
        return;
    }
    PjlinkProjector* projector = projectors.first();
    QByteArray line = datagram;
    while (line.endsWith('\r') || line.endsWith('\n'))
        line.chop(1);
    PjlinkAnswer notice;
    QString error;
    if (!PjlinkMessage::ParseAnswer(line, &notice, &error)) {
        emit ignored(sender.toString(), error);
        return;
    }
    const bool known = std::any_of(std::begin(kNotices), std::end(kNotices),
                                   [&](const char* name) { return notice.command == name; });
    if (!known || notice.kind != PjlinkAnswer::Value) {
        emit ignored(sender.toString(),
                     tr("no status notice: %1").arg(QString::fromLatin1(line.left(16))));
        return;
    }
    projector->Notice(notice);
}
