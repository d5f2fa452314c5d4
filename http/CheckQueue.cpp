#include "http/CheckQueue.h"

#include "http/RemoteAccess.h"

CheckQueue::CheckQueue(QObject* parent) : QObject(parent)
{
    m_clock.start();
    m_sweep.setInterval(100);
    connect(&m_sweep, &QTimer::timeout, this, &CheckQueue::expire);
}

CheckQueue::~CheckQueue()
{
    m_pool.waitForDone();
}

CheckQueue::Refusal CheckQueue::Add(const QHostAddress& from, Lane lane, const QByteArray& key,
                                    Check check, Checked then, Late late)
{
    if (m_stopped) {
        late();
        return Refusal::None;
    }
    if (const auto same = m_byKey.value(key)) {
        same->askers.append({std::move(then), std::move(late)});
        return Refusal::None;
    }
    const QHostAddress address = RemoteAccess::Own(from);
    const QHostAddress network = RemoteAccess::Group(from);
    if (m_perAddress.value(address) >= kMaxPerAddress ||
        m_perNetwork.value(network) >= kMaxPerNetwork)
        return Refusal::AddressBusy;
    if (m_waitingCount >= kMaxWaiting && !evictWorseThan(lane))
        return Refusal::Full;
    auto job = std::make_shared<Job>(Job{address, network, lane, key, std::move(check),
                                         {{std::move(then), std::move(late)}}, m_clock.elapsed()});
    m_byKey.insert(key, job);
    ++m_perAddress[address];
    ++m_perNetwork[network];
    ++m_waitingCount;
    const int l = int(lane);
    QList<JobPtr>& queue = m_waiting[l][address];
    if (queue.isEmpty())
        m_turns[l].append(address);
    queue.append(job);
    startNext();
    if (m_waitingCount > 0 && !m_sweep.isActive())
        m_sweep.start();
    return Refusal::None;
}

// Makes room for a check of `lane`: the newest check of a worse lane is
// answered late.
bool CheckQueue::evictWorseThan(Lane lane)
{
    for (int l = 2; l > int(lane); --l) {
        if (m_turns[l].isEmpty())
            continue;
        const QHostAddress address = m_turns[l].last();
        QList<JobPtr>& queue = m_waiting[l][address];
        const JobPtr job = queue.takeLast();
        if (queue.isEmpty()) {
            m_waiting[l].remove(address);
            m_turns[l].removeLast();
        }
        drop(job);
        return true;
    }
    return false;
}

void CheckQueue::startNext()
{
    for (int l = 0; l < 3 && m_running < m_pool.maxThreadCount(); ++l) {
        while (m_running < m_pool.maxThreadCount() && !m_turns[l].isEmpty()) {
            const QHostAddress address = m_turns[l].takeFirst();
            QList<JobPtr>& queue = m_waiting[l][address];
            JobPtr job = queue.takeFirst();
            if (queue.isEmpty())
                m_waiting[l].remove(address);
            else
                m_turns[l].append(address); // its next check after everyone else's
            --m_waitingCount;
            ++m_running;
            job->running = true;
            m_pool.start([this, job] {
                const std::optional<QString> found = job->check();
                // Dropped when this object is gone by then.
                QMetaObject::invokeMethod(this, [this, job, found] { finish(job, found); });
            });
        }
    }
    if (m_waitingCount == 0)
        m_sweep.stop();
}

void CheckQueue::release(const JobPtr& job)
{
    if (m_byKey.value(job->key) == job)
        m_byKey.remove(job->key);
    if (--m_perAddress[job->address] <= 0)
        m_perAddress.remove(job->address);
    if (--m_perNetwork[job->network] <= 0)
        m_perNetwork.remove(job->network);
}

void CheckQueue::drop(const JobPtr& job)
{
    if (!job->running)
        --m_waitingCount;
    release(job);
    const QList<Asker> askers = std::exchange(job->askers, {});
    for (const Asker& asker : askers)
        asker.late();
}

void CheckQueue::finish(const JobPtr& job, const std::optional<QString>& found)
{
    --m_running;
    if (!job->askers.isEmpty()) { // not answered late meanwhile
        release(job);
        const QList<Asker> askers = std::exchange(job->askers, {});
        for (const Asker& asker : askers)
            asker.then(found);
    }
    startNext();
}

void CheckQueue::expire()
{
    const qint64 now = m_clock.elapsed();
    for (int l = 0; l < 3; ++l) {
        QList<JobPtr> late;
        for (auto it = m_waiting[l].begin(); it != m_waiting[l].end();) {
            it->removeIf([&](const JobPtr& job) {
                if (!m_stopped && now - job->since < kMaxWaitMs)
                    return false;
                late.append(job);
                return true;
            });
            if (it->isEmpty()) {
                m_turns[l].removeOne(it.key());
                it = m_waiting[l].erase(it);
            } else {
                ++it;
            }
        }
        for (const JobPtr& job : late)
            drop(job);
    }
    if (m_waitingCount == 0)
        m_sweep.stop();
}

void CheckQueue::Stop()
{
    m_stopped = true;
    expire();
    // Those running are answered now; what they find later is dropped.
    for (const JobPtr& job : m_byKey.values())
        if (job->running)
            drop(job);
}
