// One record of the history (a command the campus service answered), what a
// search for records asks, and how the history is faring.
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
    QString service; // the service that wrote it ("" in the journal: this one)
};

struct HistoryFilter {
    static constexpr int kDefaultLimit = 100;
    static constexpr int kMaxLimit = 100'000;
    // service= for the records of every service of the district.
    static constexpr const char* kAllServices = "all";

    QStringList rooms; // none: every room
    QDateTime since, until; // invalid: open; since ≤ at < until
    qint64 before = 0;      // entries before this ID only (the next page); 0: the newest
    int limit = kDefaultLimit;
    // "": this service's own records (its journal); a service's name, or
    // kAllServices, from the district's database.
    QString service;
    // Each list, when not empty, keeps the records whose column is one of
    // its values; a new filter on a column is one more line in Columns().
    QStringList commands, codes, faces, who;
    bool failedOnly = false; // only what was not sent (every code but "sent" and "observed")

    struct Column {
        const char* name;
        const QStringList HistoryFilter::*values;
    };
    static constexpr Column Columns[] = {{"command", &HistoryFilter::commands},
                                         {"code", &HistoryFilter::codes},
                                         {"face", &HistoryFilter::faces},
                                         {"who", &HistoryFilter::who}};
};

// The records found, newest first, or the reason none could be read.
using HistoryFound = std::function<void(const QList<HistoryRecord>& entries, const QString& error)>;

// How the history fares, for the health answer, the log and MQTT.
struct HistoryStatus {
    bool journalOk = true;     // the last write to the local journal worked
    QString journalError;      // why it did not
    qsizetype waiting = 0;     // records waiting in memory to be written
    qint64 lost = 0;           // records dropped since the start (memory full)
    bool district = false;     // a district database is configured
    bool districtUp = false;   // it took the last copy
    qint64 behind = 0;         // journal records not yet in the district's database
    QString districtError;     // why not, when it is behind
};
