#include "http/CheckQueue.h"

#include "http/RemoteAccess.h"

CheckQueue::CheckQueue(QObject* parent) : QObject(parent) {}

CheckQueue::~CheckQueue()
{
    m_pool.waitForDone();
}

CheckQueue::Refusal CheckQueue::Add(const QHostAddress& from, const QByteArray& key, Check check,
                                    Checked then)
{
    if (const auto same = m_byKey.value(key)) {
        same->then.append(std::move(then));
        return Refusal::None;
    }
    const QHostAddress group = RemoteAccess::Group(from);
    if (m_perGroup.value(group) >= kMaxPerAddress)
        return Refusal::AddressBusy;
    if (m_waitingCount >= kMaxWaiting)
        return Refusal::Full;
    auto job = std::make_shared<Job>(Job{group, key, std::move(check), {std::move(then)}});
    m_byKey.insert(key, job);
    ++m_perGroup[group];
    ++m_waitingCount;
    QList<std::shared_ptr<Job>>& queue = m_waiting[group];
    if (queue.isEmpty())
        m_turns.append(group);
    queue.append(job);
    startNext();
    return Refusal::None;
}

void CheckQueue::startNext()
{
    while (m_running < m_pool.maxThreadCount() && !m_turns.isEmpty()) {
        const QHostAddress group = m_turns.takeFirst();
        QList<std::shared_ptr<Job>>& queue = m_waiting[group];
        std::shared_ptr<Job> job = queue.takeFirst();
        if (queue.isEmpty())
            m_waiting.remove(group);
        else
            m_turns.append(group); // its next check after everyone else's
        --m_waitingCount;
        ++m_running;
        m_pool.start([this, job] {
            const std::optional<QString> found = job->check();
            // Dropped when this object is gone by then.
            QMetaObject::invokeMethod(this, [this, job, found] { finish(job, found); });
        });
    }
}

void CheckQueue::finish(const std::shared_ptr<Job>& job, const std::optional<QString>& found)
{
    --m_running;
    m_byKey.remove(job->key);
    if (--m_perGroup[job->group] <= 0)
        m_perGroup.remove(job->group);
    for (const Checked& then : std::as_const(job->then))
        then(found);
    startNext();
}
