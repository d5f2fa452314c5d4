// The record of every command the campus service answered, from every face
// (the page, the JSON interface, `lumo send --server`, MQTT, a schedule, the
// idle switch-off): when, which room, which command, who, the face, what
// became of it, and the service that wrote it.
//
// The service's own journal comes first: an SQLite file (WAL) in its state
// folder, written on a thread of its own (HistoryStore) in one transaction
// for all that waits, so that a 500-room action never stalls the web side.
// A command is answered once its record is committed to the journal; when
// the journal cannot be written (a full disk, a read-only folder) the command
// is still carried out, its answer says that it was not recorded, the log
// and Status() say that the history is failing, and the records wait in
// memory (bounded) until they can be written.
//
// Past one machine, the journal is copied in the background to a district's
// PostgreSQL database (HistoryDistrict): a database that is slow, stopped or
// restarted holds up no answer, and what it missed is copied once it is back,
// in order, once. Searches read this service's own records from the journal,
// and the district's (service=NAME or all) from the database.
//
// Each service removes its own records older than keep= daily (at most
// kMaxRows are kept in the journal), never another service's.
#pragma once

#include "control/CommandEntry.h"
#include "serve/history/HistoryRecord.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class HistoryDistrict;
class HistoryStore;
class QThread;

class History : public QObject
{
    Q_OBJECT
public:
    using Entry = HistoryRecord;
    using Filter = HistoryFilter;
    using Found = HistoryFound;
    using Stored = std::function<void(bool recorded)>;

    static constexpr int kDefaultLimit = HistoryFilter::kDefaultLimit;
    static constexpr int kMaxLimit = HistoryFilter::kMaxLimit;
    static constexpr qint64 kMaxRows = 5'000'000;
    static constexpr int kDefaultKeepDays = 365;
    // A search of the district's database is answered within this.
    static constexpr int kFindWithinMs = 10'000;
    // The district's database counts as not answering after this long
    // on one statement.
    static constexpr int kHungAfterMs = 3000;
    // When the service stops, the district's copy is left after this long.
    static constexpr int kStopWithinMs = 2000;

    // The history file in the service's state folder: $STATE_DIRECTORY
    // (StateDirectory= of the unit), else $XDG_STATE_HOME/lumo, else
    // ~/.local/state/lumo.
    static QString DefaultPath();
    // Whether `database` names a PostgreSQL database (postgresql://USER@HOST:PORT/DB,
    // ?host=/socket/folder&sslmode=…) rather than an SQLite file.
    static bool IsPostgres(const QString& database);
    // Where libpq finds the district's password: PGPASSFILE as set, else the
    // service's credential lumo-serve.pgpass ($CREDENTIALS_DIRECTORY, from
    // LoadCredential= of its unit), else "" (~/.pgpass).
    static QString PasswordFile();
    // What an answer of the entry point is recorded as, at `at`.
    static Entry Of(const CommandEntry::Request& request, const CommandResult& result,
                    const QDateTime& at);

    // Opens (or creates) the journal `journal` and starts copying it to the
    // PostgreSQL database `district` ("" for none); `service` is the name its
    // rows carry. Error() says why there can be no history at all.
    explicit History(const QString& journal, const QString& district = {},
                     const QString& service = {}, int keepDays = kDefaultKeepDays, QObject* parent = nullptr);
    ~History() override; // what was added is written first

    QString Error() const { return m_error; }
    QString Service() const { return m_service; }
    HistoryStatus Status() const;
    void SetKeepDays(int days);
    // Adds the entry; `stored` runs on this thread once it is committed to
    // the journal (true), or could not be (false: it waits in memory).
    void Add(const Entry& entry, Stored stored = {});
    // Searches on the history's thread; `found` runs on this thread.
    void Find(const Filter& filter, Found found);
    // The newest journal record of each room among those of `filter`,
    // oldest first (for what the service knew before a restart).
    QList<Entry> LastPerRoom(const Filter& filter);
    // Removes what is older than keep= (and beyond kMaxRows) now.
    void Prune();

signals:
    // Status() changed: the journal failing or written again, the district's
    // copy behind or caught up.
    void statusChanged();

private:
    QString m_service;
    QThread* m_thread = nullptr;
    HistoryStore* m_store = nullptr; // lives on m_thread
    QThread* m_districtThread = nullptr;
    HistoryDistrict* m_district = nullptr; // lives on m_districtThread
    QString m_error;
    HistoryStatus m_status;
    QElapsedTimer m_districtWaits; // valid while it waits on the database
    qint64 m_copied = 0; // the last journal ID the district holds
    int m_keepDays = kDefaultKeepDays;
    QTimer m_daily;
};
