// A TCP proxy in this process that stands for a slow network: each port it
// opens forwards every connection to one target on 127.0.0.1, holding what
// goes either way (the connection itself, its bytes and its end) for the
// same delay, in order. Many targets and many connections at once, on the
// thread it was made on.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>

#include <deque>
#include <memory>
#include <set>

class QTcpServer;
class QTcpSocket;
class QTimer;

class DelayProxy : public QObject
{
    Q_OBJECT
public:
    explicit DelayProxy(int delayMs, QObject* parent = nullptr);
    ~DelayProxy() override;

    // Listens on a port of its own (port 0: the system's choice) that
    // forwards to 127.0.0.1:`target`; returns that port, 0 when it cannot.
    quint16 Forward(quint16 target);
    // For what arrives from now on, each way.
    void SetDelay(int ms) { m_delayMs = ms; }
    // Connections open now.
    int Connections() const { return int(m_pairs.size()); }

private:
    struct Pair {
        QTcpSocket* client = nullptr;
        QTcpSocket* server = nullptr;
        bool serverUp = false; // the forward connection is established
        QByteArray early;      // for the server, due before it was up
        bool endEarly = false; // the client hung up before that
        bool closed = false;
    };
    // What one side said and when it may reach the other; `end`: that side
    // hung up. All share one delay, so they fall due in the order made.
    struct Held {
        qint64 due = 0;
        std::shared_ptr<Pair> pair;
        bool toServer = false;
        QByteArray bytes;
        bool end = false;
    };
    void accept(QTcpServer* listener, quint16 target);
    void hold(const std::shared_ptr<Pair>& pair, bool toServer, QByteArray bytes, bool end);
    void pass();
    void close(const std::shared_ptr<Pair>& pair);

    int m_delayMs;
    QElapsedTimer m_clock;
    std::set<std::shared_ptr<Pair>> m_pairs;
    std::deque<Held> m_held;
    QTimer* m_timer;
};
