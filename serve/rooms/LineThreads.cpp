#include "serve/rooms/LineThreads.h"

#include <QObject>
#include <QThread>

#include <algorithm>

namespace
{
// A line's thread needs little stack: Qt's sockets and a device's buffers.
constexpr uint kStackBytes = 512 * 1024;
} // namespace

LineThreads::LineThreads(const QString& name, int most) : m_name(name), m_most(std::max(1, most)) {}

void LineThreads::Stop()
{
    for (Worker& worker : m_workers) {
        QThread* thread = worker.thread;
        Post(thread, [thread] { thread->quit(); });
    }
    for (Worker& worker : m_workers) {
        worker.thread->wait();
        delete worker.anchor;
        delete worker.thread;
    }
    m_workers.clear();
}

void LineThreads::Want(const QString& room, Turn turn, QThread* bound)
{
    // Waiting for the same already: it keeps its place.
    if (const auto found = m_waiting.constFind(room);
        found != m_waiting.constEnd() && found->turn == turn && found->bound == bound)
        return;
    m_waiting.insert(room, {turn, bound});
    if (bound)
        worker(bound)->bound.push_back(room);
    else
        m_queues[int(turn)].push_back(room);
}

void LineThreads::Drop(const QString& room)
{
    m_waiting.remove(room);
}

bool LineThreads::take(std::deque<QString>& queue, Turn turn, QThread* bound, QString* room)
{
    while (!queue.empty()) {
        const QString first = queue.front();
        const auto found = m_waiting.constFind(first);
        if (found != m_waiting.constEnd() && found->turn == turn && found->bound == bound) {
            *room = first;
            return true;
        }
        queue.pop_front(); // dropped since, or waiting elsewhere now
    }
    return false;
}

bool LineThreads::Next(QString* room, Turn* turn, QThread** thread)
{
    // A room whose line is open takes its turn on the thread that holds it.
    for (Worker& w : m_workers) {
        if (w.busy)
            continue;
        while (!w.bound.empty()) {
            const QString first = w.bound.front();
            w.bound.pop_front();
            const auto found = m_waiting.constFind(first);
            if (found == m_waiting.constEnd() || found->bound != w.thread)
                continue;
            *room = first;
            *turn = found->turn;
            *thread = w.thread;
            m_waiting.erase(found);
            w.busy = true;
            ++m_busy[int(*turn)];
            return true;
        }
    }
    // Any other room takes the next free thread: commands first, then rooms
    // that were down and probes, each within their share.
    const int share = std::max(1, m_most / 2);
    for (const Turn kind : {Turn::Command, Turn::Failing, Turn::Probe}) {
        if (kind != Turn::Command && m_busy[int(kind)] >= share)
            continue;
        if (!take(m_queues[int(kind)], kind, nullptr, room))
            continue;
        Worker* w = freeWorker();
        if (!w)
            return false;
        m_queues[int(kind)].pop_front();
        m_waiting.remove(*room);
        *turn = kind;
        *thread = w->thread;
        w->busy = true;
        ++m_busy[int(kind)];
        return true;
    }
    return false;
}

void LineThreads::Done(QThread* thread, Turn turn)
{
    if (Worker* w = worker(thread)) {
        w->busy = false;
        --m_busy[int(turn)];
    }
}

void LineThreads::Post(QThread* thread, std::function<void()> job)
{
    QMetaObject::invokeMethod(worker(thread)->anchor, std::move(job), Qt::QueuedConnection);
}

LineThreads::Worker* LineThreads::worker(QThread* thread)
{
    for (Worker& w : m_workers)
        if (w.thread == thread)
            return &w;
    return nullptr;
}

// A thread with nothing to do (one without rooms waiting for it first), or
// a new one while there are fewer than the most.
LineThreads::Worker* LineThreads::freeWorker()
{
    Worker* found = nullptr;
    for (Worker& w : m_workers)
        if (!w.busy && (!found || w.bound.size() < found->bound.size()))
            found = &w;
    if (found || m_workers.size() >= m_most)
        return found;
    Worker w;
    w.thread = new QThread;
    w.thread->setObjectName(QStringLiteral("%1 %2").arg(m_name).arg(m_workers.size() + 1));
    w.thread->setStackSize(kStackBytes);
    w.anchor = new QObject;
    w.anchor->moveToThread(w.thread);
    w.thread->start();
    m_workers.append(w);
    return &m_workers.last();
}
