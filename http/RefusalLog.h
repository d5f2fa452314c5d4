// How many refusals reach a service's log: the first kLoggedPerMinute of
// each address in a minute, one by one; the rest as one line per address
// at the minute's end ("refused ADDRESS 3,412 more times"), so that a
// flood of refusals is a few lines, not thousands a second.
#pragma once

#include <QHash>
#include <QHostAddress>
#include <QTimer>

class RefusalLog
{
public:
    static constexpr int kLoggedPerMinute = 3;
    static constexpr qint64 kMinuteMs = 60'000;
    static constexpr int kMaxAddresses = 4096; // beyond: summed as "other addresses"

    RefusalLog();
    // A refusal of `from` now: whether to log it by itself.
    bool Count(const QHostAddress& from);
    // Logs the counts of the minute now, and starts another.
    void Summarize();

private:
    QHash<QHostAddress, qint64> m_perAddress; // refusals this minute
    qint64 m_others = 0;
    QTimer m_minute;
};
