// Slow checks (a password or token against its PBKDF2 hash) on worker
// threads, so that they cost whoever floods them, not the users:
// - in lanes: a token named by its ID first, then checks from addresses
//   with no failed attempts lately, then the rest (Suspect), each lane
//   shared in turn between addresses;
// - at most kMaxPerAddress waiting or running per address and
//   kMaxPerNetwork per IPv6 /64, kMaxWaiting waiting in all (a check of a
//   better lane takes the place of the newest of the worst when full);
// - a check that waited kMaxWaitMs is answered at once as late (503) and
//   never run: nothing queued goes on after its askers have gone.
// The same secret asked for again while its check waits or runs is
// answered by that check (a script run eight times at once is checked once).
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class CheckQueue : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxPerAddress = 3;
    static constexpr int kMaxPerNetwork = 8;
    static constexpr int kMaxWaiting = 64;
    static constexpr qint64 kMaxWaitMs = 1500;

    enum class Lane { Token, Clean, Suspect };
    using Check = std::function<std::optional<QString>()>;
    using Checked = std::function<void(const std::optional<QString>&)>;
    using Late = std::function<void()>;
    enum class Refusal { None, AddressBusy, Full };

    explicit CheckQueue(QObject* parent = nullptr);
    // Waits for the checks that run; their answers are dropped.
    ~CheckQueue() override;

    // Runs `check` on a worker thread when its turn comes, then `then` on
    // this object's thread; `late` instead when its turn did not come in
    // time or the queue stops. `key`: the same for the same secret (a digest).
    Refusal Add(const QHostAddress& from, Lane lane, const QByteArray& key, Check check,
                Checked then, Late late);
    // Everything waiting or running is answered late now, and what comes
    // from now on too (the service is stopping).
    void Stop();
    int Waiting() const { return m_waitingCount; }

private:
    struct Asker {
        Checked then;
        Late late;
    };
    struct Job {
        QHostAddress address, network;
        Lane lane;
        QByteArray key;
        Check check;
        QList<Asker> askers;
        qint64 since = 0;
        bool running = false;
    };
    using JobPtr = std::shared_ptr<Job>;
    void startNext();
    void finish(const JobPtr& job, const std::optional<QString>& found);
    void expire();
    void drop(const JobPtr& job); // answered late, no longer counted
    void release(const JobPtr& job);
    bool evictWorseThan(Lane lane);

    // Per lane: each address's waiting checks, and the addresses in turn.
    std::array<QHash<QHostAddress, QList<JobPtr>>, 3> m_waiting;
    std::array<QList<QHostAddress>, 3> m_turns;
    QHash<QByteArray, JobPtr> m_byKey; // waiting or running
    QHash<QHostAddress, int> m_perAddress, m_perNetwork; // waiting or running
    int m_waitingCount = 0;
    int m_running = 0;
    bool m_stopped = false;
    QElapsedTimer m_clock;
    QTimer m_sweep;
    QThreadPool m_pool; // last: its work ends before the rest goes
};
