// History's connection to its database, on the history's own thread: entries
// added are written together in one transaction as soon as the thread is
// free, searches see everything added before them.
#pragma once

#include "serve/history/HistoryRecord.h"

#include <QObject>
#include <QPointer>

class HistoryStore : public QObject
{
    Q_OBJECT
public:
    // `home`: where the callbacks of stored entries and searches run.
    explicit HistoryStore(QObject* home) : m_home(home) {}

    // Opens the database, WAL, with its table; false with `error`.
    bool Open(const QString& path, QString* error);
    // Writes what waits, then lets the connection go.
    void Close();
    void Add(const HistoryRecord& entry, std::function<void()> stored);
    void Find(const HistoryFilter& filter, const HistoryFound& found);
    void Prune(const QDateTime& before, qint64 maxRows);

private:
    // Writes every waiting entry in one transaction.
    void write();

    QPointer<QObject> m_home;
    QString m_connection;
    QList<HistoryRecord> m_waiting;
    QList<std::function<void()>> m_stored;
    bool m_writeQueued = false;
};
