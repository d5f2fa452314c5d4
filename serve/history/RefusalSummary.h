// Refusals of words that name no command and of rooms that do not exist
// are not worth a row each: anyone who may send may send a million. They
// are counted per source (who and face): the first of each minute is
// written as it comes, the rest as one row per source at the minute's end
// ("1204 more refused within the minute: … (commands foo, bar, …)"), so that a
// flood adds a few rows, never pushes real records out of the history.
// Everything else goes to the history as it comes.
#pragma once

#include "serve/history/HistoryRecord.h"

#include <QHash>
#include <QStringList>
#include <QTimer>

#include <functional>

class RefusalSummary
{
public:
    static constexpr qint64 kMinuteMs = 60'000;
    static constexpr int kMaxSources = 1000; // beyond: one row for "other sources"
    static constexpr int kWordsShown = 5;

    using Add = std::function<void(const HistoryRecord& record)>;
    explicit RefusalSummary(Add add);
    ~RefusalSummary(); // what is counted is written

    // Whether `record` is a refusal counted here (not to be added by itself);
    // false for everything else, and for the first refusal of its source in
    // the minute (to be added as it is).
    bool Take(const HistoryRecord& record);
    // Writes a row per source counted, and starts another minute.
    void Flush();

private:
    struct Count {
        HistoryRecord first;
        qint64 count = 0;
        QStringList words, rooms; // the first few of each
    };
    Add m_add;
    QHash<QString, Count> m_counts; // by source and code
    QTimer m_minute;
};
