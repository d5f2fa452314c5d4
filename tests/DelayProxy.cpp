#include "DelayProxy.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

DelayProxy::DelayProxy(int delayMs, QObject* parent)
    : QObject(parent), m_delayMs(delayMs), m_timer(new QTimer(this))
{
    m_clock.start();
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &DelayProxy::pass);
}

DelayProxy::~DelayProxy()
{
    for (const auto& pair : m_pairs) {
        pair->client->abort();
        pair->server->abort();
    }
}

quint16 DelayProxy::Forward(quint16 target)
{
    auto* listener = new QTcpServer(this);
    if (!listener->listen(QHostAddress::LocalHost, 0)) {
        delete listener;
        return 0;
    }
    connect(listener, &QTcpServer::newConnection, this,
            [this, listener, target] { accept(listener, target); });
    return listener->serverPort();
}

void DelayProxy::accept(QTcpServer* listener, quint16 target)
{
    while (QTcpSocket* client = listener->nextPendingConnection()) {
        auto pair = std::make_shared<Pair>();
        std::weak_ptr<Pair> weak = pair;
        pair->client = client;
        pair->server = new QTcpSocket(this);
        client->setParent(this);
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_pairs.insert(pair);
        Pair* p = pair.get();
        const auto on = [this, weak](bool toServer, bool end) {
            const auto pair = weak.lock();
            if (!pair || pair->closed)
                return;
            QTcpSocket* from = toServer ? pair->client : pair->server;
            hold(pair, toServer, end ? QByteArray() : from->readAll(), end);
        };
        connect(client, &QTcpSocket::readyRead, this, [on] { on(true, false); });
        connect(client, &QTcpSocket::disconnected, this, [on] { on(true, true); });
        connect(p->server, &QTcpSocket::readyRead, this, [on] { on(false, false); });
        connect(p->server, &QTcpSocket::disconnected, this, [on] { on(false, true); });
        connect(p->server, &QTcpSocket::errorOccurred, this, [on, p] {
            if (!p->serverUp) // refused: the client hears of it a delay later
                on(false, true);
        });
        connect(p->server, &QTcpSocket::connected, this, [this, weak] {
            const auto pair = weak.lock();
            if (!pair || pair->closed)
                return;
            pair->serverUp = true;
            pair->server->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            pair->server->write(std::exchange(pair->early, {}));
            if (pair->endEarly)
                close(pair);
        });
        // The connection reaches the target a delay after it was made.
        QTimer::singleShot(m_delayMs, Qt::PreciseTimer, p->server, [p, target] {
            p->server->connectToHost(QHostAddress::LocalHost, target);
        });
    }
}

void DelayProxy::hold(const std::shared_ptr<Pair>& pair, bool toServer, QByteArray bytes, bool end)
{
    if (bytes.isEmpty() && !end)
        return;
    m_held.push_back({m_clock.elapsed() + m_delayMs, pair, toServer, std::move(bytes), end});
    if (!m_timer->isActive())
        m_timer->start(int(std::max<qint64>(0, m_held.front().due - m_clock.elapsed())));
}

// Hands on what is due, in order; a side's end closes both once what came
// before it went out.
void DelayProxy::pass()
{
    const qint64 now = m_clock.elapsed();
    while (!m_held.empty() && m_held.front().due <= now) {
        const Held held = std::move(m_held.front());
        m_held.pop_front();
        Pair& pair = *held.pair;
        if (pair.closed)
            continue;
        if (held.toServer && !pair.serverUp) {
            pair.early += held.bytes;
            pair.endEarly = pair.endEarly || held.end;
            continue;
        }
        if (!held.bytes.isEmpty())
            (held.toServer ? pair.server : pair.client)->write(held.bytes);
        if (held.end)
            close(held.pair);
    }
    if (!m_held.empty())
        m_timer->start(int(std::max<qint64>(0, m_held.front().due - now)));
}

void DelayProxy::close(const std::shared_ptr<Pair>& pair)
{
    pair->closed = true;
    for (QTcpSocket* socket : {pair->client, pair->server}) {
        socket->disconnect(this);
        if (socket->state() == QAbstractSocket::ConnectedState)
            socket->disconnectFromHost(); // after what it still has to write
        else
            socket->abort();
        socket->deleteLater();
    }
    m_pairs.erase(pair);
}
