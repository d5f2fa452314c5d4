#include "SimServer.h"

#include "SimProjector.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTime>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>

namespace
{
} // namespace

void SimServer::Log(const QByteArray& text)
{
    const QByteArray line =
        QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1() + "  " + text + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

namespace
{
// What one connection has seen: its partial line, the random it was given
// (until the digest came) and its idle timer.
struct Conversation : QObject {
    QByteArray line;
    QByteArray random;
    QTimer idle;
    using QObject::QObject;
};
} // namespace

SimServer::SimServer(SimProjector* projector, const QByteArray& password, int idleMs,
                     QObject* parent)
    : QObject(parent), m_projector(projector), m_password(password), m_idleMs(idleMs)
{
    connect(m_projector, &SimProjector::notice, this, &SimServer::send);
}

bool SimServer::Listen(const QHostAddress& address, quint16 port, QString* error)
{
    m_server = new QTcpServer(this);
    if (!m_server->listen(address, port)) {
        *error = QStringLiteral("cannot listen on %1 port %2: %3")
                     .arg(address.toString())
                     .arg(port)
                     .arg(m_server->errorString());
        return false;
    }
    connect(m_server, &QTcpServer::newConnection, this, &SimServer::onConnection);
    return true;
}

quint16 SimServer::Port() const
{
    return m_server ? m_server->serverPort() : 0;
}

void SimServer::NotifyTo(const QHostAddress& address, quint16 port)
{
    if (!m_udp)
        m_udp = new QUdpSocket(this);
    m_noticeAddress = address;
    m_noticePort = port;
    send("%2LKUP=02:00:00:00:43:52");
}

void SimServer::send(const QByteArray& line)
{
    if (!m_udp)
        return;
    m_udp->writeDatagram(line + '\r', m_noticeAddress, m_noticePort);
    Log("notice " + line);
}

void SimServer::onConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        auto* conversation = new Conversation(socket);
        conversation->setObjectName(QStringLiteral("conversation"));
        conversation->idle.setSingleShot(true);
        conversation->idle.start(m_idleMs);
        connect(&conversation->idle, &QTimer::timeout, socket, [socket] {
            Log("idle: closed");
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_password.isEmpty()) {
            socket->write("PJLINK 0\r");
        } else {
            conversation->random =
                QByteArray::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, '0');
            socket->write("PJLINK 1 " + conversation->random + '\r');
        }
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, conversation] {
            while (socket->bytesAvailable() > 0) {
                char c = 0;
                socket->getChar(&c);
                if (c == '\r') {
                    onLine(socket, std::exchange(conversation->line, {}));
                    if (socket->state() != QAbstractSocket::ConnectedState)
                        return;
                } else if (c != '\n') {
                    conversation->line += c;
                    // A digest of 32 and a line of 136.
                    if (conversation->line.size() > 32 + kMaxLine) {
                        Log("line too long: closed");
                        socket->abort();
                        return;
                    }
                }
            }
        });
    }
}

void SimServer::onLine(QTcpSocket* socket, QByteArray line)
{
    auto* conversation = socket->findChild<Conversation*>(QStringLiteral("conversation"));
    conversation->idle.start(m_idleMs);
    if (!conversation->random.isEmpty()) {
        const QByteArray digest =
            QCryptographicHash::hash(conversation->random + m_password, QCryptographicHash::Md5)
                .toHex();
        conversation->random.clear();
        if (!line.startsWith(digest)) {
            Log("wrong password: PJLINK ERRA");
            socket->write("PJLINK ERRA\r");
            socket->disconnectFromHost();
            return;
        }
        line.remove(0, digest.size());
    }
    if (line.size() > kMaxLine - 1) {
        Log("line too long: closed");
        socket->abort();
        return;
    }
    const QByteArray answer = m_projector->Answer(line);
    if (answer.isEmpty()) {
        Log(line.left(40) + "  (no command)");
        return;
    }
    Log(line + "  -> " + answer);
    socket->write(answer + '\r');
}
