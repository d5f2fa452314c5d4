// The district's copy of the journal: a PostgreSQL database that the
// journals of a district's services are copied into, each row with the
// service that wrote it. On a thread of its own, so that a database that
// stops answering holds up no command: the copy reads the journal after the
// last record the district holds of this service (asked of it at each
// connection), and writes in order, in batches, each record once (a
// record's service and journal ID are unique there). A connection lost is
// tried again with a growing pause; every statement has a time limit.
#pragma once

#include "serve/history/HistoryRecord.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>

class HistoryDistrict : public QObject
{
    Q_OBJECT
public:
    static constexpr int kCopyEveryMs = 1000;
    static constexpr int kBatch = 500;
    static constexpr int kMaxPauseMs = 60'000;
    // libpq's limits: to connect, per statement, and a silent peer.
    static constexpr int kConnectSeconds = 5;
    static constexpr int kStatementMs = 10'000;

    struct Progress {
        bool up = false;
        qint64 behind = 0;
        qint64 copied = 0; // the last journal ID the district holds
        QString error;
    };
    using Told = std::function<void(const Progress& progress)>;
    using Working = std::function<void(bool working)>;

    // `home`: where `told` (after each attempt), `working` (before and after
    // each wait on the database) and searches' answers run.
    HistoryDistrict(QObject* home, const QString& journal, const QString& url,
                    const QString& service, Told told, Working working);

    void Start();
    void Close();
    void Find(const HistoryFilter& filter, const HistoryFound& found);
    // Removes this service's rows older than `before` (no other's).
    void Prune(const QDateTime& before);
    // The libpq connection options of `url` (postgresql://USER@HOST:PORT/DB?…).
    static QString ConnectOptions(const QString& url);

private:
    void copy();
    bool connectDistrict(QString* error);
    void lost(const QString& error);
    // Runs `work` on the database, telling home it waits meanwhile.
    template <typename Work> auto waiting(Work work);

    QPointer<QObject> m_home;
    QString m_journalPath, m_url, m_service, m_journal, m_district;
    Told m_told;
    Working m_working;
    bool m_up = false;
    qint64 m_copied = 0; // the last journal ID the district holds
    int m_pauseMs = 0;
    QDateTime m_nextTry;
    QString m_lastError;
    QTimer m_timer;
};
