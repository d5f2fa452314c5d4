// The service's own journal of commands, a local SQLite file (WAL), on the
// history's own thread: entries added are written together in one
// transaction as soon as the thread is free; searches see everything
// written before them. When the file cannot be written (a full disk, a
// read-only folder) the entries wait in memory, at most kMaxWaiting, and
// are written, in order, once it can be again.
#pragma once

#include "serve/history/HistoryRecord.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class HistoryStore : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype kMaxWaiting = 100'000;
    // A journal that could not be written is tried again this often.
    static constexpr int kRetryMs = 2000;

    using Stored = std::function<void(bool recorded)>;
    using Told = std::function<void(const HistoryStatus& status)>;

    // `home`: where the callbacks of stored entries, searches and `told`
    // (the journal's part of the status, when it changes) run.
    HistoryStore(QObject* home, Told told);

    // Opens the journal; false with `error` when it never can be (no
    // driver). A file that cannot be opened yet is tried again.
    bool Open(const QString& path, const QString& service, QString* error);
    // Writes what waits, then lets the connection go.
    void Close();
    // Adds the entry; `stored` tells whether it was committed.
    void Add(const HistoryRecord& entry, Stored stored);
    void Find(const HistoryFilter& filter, const HistoryFound& found);
    // Removes what is older than `before` or beyond `maxRows`, up to the
    // ID `upTo` (what a district has copied).
    void Prune(const QDateTime& before, qint64 maxRows, qint64 upTo);
    // The newest record of each room among those of `filter` (its rooms,
    // columns and times; not its limit), oldest first.
    QList<HistoryRecord> LastPerRoom(const HistoryFilter& filter);

private:
    bool open(QString* error);
    // Writes every waiting entry in one transaction.
    void write();
    void tell(bool ok, const QString& error);

    QPointer<QObject> m_home;
    Told m_told;
    QString m_path, m_service, m_connection;
    bool m_open = false;
    QList<HistoryRecord> m_waiting;
    QList<Stored> m_stored;
    bool m_writeQueued = false;
    bool m_failing = false;
    qint64 m_lost = 0;
    QTimer m_retry;
};
