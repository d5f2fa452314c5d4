// The threads the rooms' lines run on, and whose turn it is. A line's open,
// write and confirmation wait (bounded) for its device, so they run here,
// never on the service's event loop; at most `most` threads are started,
// as they are needed, however many rooms there are.
//
// A room wants a turn for its next command, a close or a probe. A room
// whose line is open is bound to the thread that holds it and takes its
// turns there; any other room takes the next free thread. Commands go
// before probes; rooms whose last attempt failed, and probes, each take at
// most half of the threads, so that rooms which are down never hold up the
// rooms which are up, and a probe round never holds up a command.
#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <deque>
#include <functional>

class QObject;
class QThread;

class LineThreads
{
public:
    enum class Turn { Command, Failing, Probe };

    LineThreads(const QString& name, int most);
    // Runs what was posted to each thread, then ends them all and waits.
    void Stop();
    ~LineThreads() { Stop(); }
    LineThreads(const LineThreads&) = delete;
    LineThreads& operator=(const LineThreads&) = delete;

    int Most() const { return m_most; }
    // The room wants a turn of this kind; `bound`: the thread holding its
    // open line, if any. A room waits for one turn at a time: one of
    // another kind, or elsewhere, takes the place of the one before.
    void Want(const QString& room, Turn turn, QThread* bound);
    // The room no longer wants its turn (taken out, or its need is gone).
    void Drop(const QString& room);
    // The next room whose turn it is, its kind and its thread, now busy
    // until Done(); false when none can start now.
    bool Next(QString* room, Turn* turn, QThread** thread);
    void Done(QThread* thread, Turn turn);
    // Whether `thread` is one of these.
    bool Holds(QThread* thread) { return worker(thread) != nullptr; }
    // Runs `job` on `thread` after what was posted to it already.
    void Post(QThread* thread, std::function<void()> job);

private:
    struct Worker {
        QThread* thread = nullptr;
        QObject* anchor = nullptr; // lives on the thread: what is posted to it
        bool busy = false;
        std::deque<QString> bound; // rooms waiting for this thread
    };
    Worker* worker(QThread* thread);
    Worker* freeWorker();
    // The first room in `queue` that still waits there (queues keep rooms
    // dropped since; they are skipped).
    bool take(std::deque<QString>& queue, Turn turn, QThread* bound, QString* room);

    QString m_name;
    int m_most;
    QList<Worker> m_workers;
    std::deque<QString> m_queues[3]; // by Turn, unbound rooms
    struct Wait {
        Turn turn;
        QThread* bound;
    };
    QHash<QString, Wait> m_waiting; // every room waiting, for what and where
    int m_busy[3] = {0, 0, 0};
};
