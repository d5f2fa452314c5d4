// Slow checks (a password or token against its PBKDF2 hash) on worker
// threads, shared fairly between addresses: each address (an IPv6 /64 as
// one) waits in its own queue of at most kMaxPerAddress, and the threads
// take the next check from the addresses in turn, so that many checks from
// a few addresses hold up one from elsewhere by one round at most. The
// same secret asked for again while its check waits or runs is answered
// by that check (a script run eight times at once is checked once).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <optional>

class CheckQueue : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxPerAddress = 3;
    // Checks waiting in all, however many addresses ask.
    static constexpr int kMaxWaiting = 1024;

    using Check = std::function<std::optional<QString>()>;
    using Checked = std::function<void(const std::optional<QString>&)>;
    enum class Refusal { None, AddressBusy, Full };

    explicit CheckQueue(QObject* parent = nullptr);
    // Waits for the checks that run; their answers are dropped.
    ~CheckQueue() override;

    // Runs `check` on a worker thread when its turn comes, then `then` on
    // this object's thread. `key`: the same for the same secret (a digest).
    Refusal Add(const QHostAddress& from, const QByteArray& key, Check check, Checked then);

private:
    struct Job {
        QHostAddress group;
        QByteArray key;
        Check check;
        QList<Checked> then;
    };
    void startNext();
    void finish(const std::shared_ptr<Job>& job, const std::optional<QString>& found);

    QHash<QHostAddress, QList<std::shared_ptr<Job>>> m_waiting;
    QList<QHostAddress> m_turns; // addresses with checks waiting, the next first
    QHash<QByteArray, std::shared_ptr<Job>> m_byKey; // waiting or running
    QHash<QHostAddress, int> m_perGroup;             // waiting or running
    int m_waitingCount = 0;
    int m_running = 0;
    QThreadPool m_pool; // last: its work ends before the rest goes
};
