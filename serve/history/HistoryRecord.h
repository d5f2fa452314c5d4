// One record of the history (a command the campus service answered), and
// what a search for records asks.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct HistoryRecord {
    qint64 id = 0;
    QDateTime at; // UTC
    QString room, command, who, face, code, message;
};

struct HistoryFilter {
    static constexpr int kDefaultLimit = 100;
    static constexpr int kMaxLimit = 100'000;

    QStringList rooms; // none: every room
    QDateTime since, until; // invalid: open; since ≤ at < until
    qint64 before = 0;      // entries before this ID only (the next page); 0: the newest
    int limit = kDefaultLimit;
    QStringList commands, faces; // none: every command (by name), every face
    bool failedOnly = false;     // only what was not sent (every code but "sent")
};

// The records found, newest first, or the reason none could be read.
using HistoryFound = std::function<void(const QList<HistoryRecord>& entries, const QString& error)>;
