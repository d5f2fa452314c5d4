// The record of every command the campus service answered, from every face
// (the page, the JSON interface, `lumo send --server`, MQTT, a schedule, the
// idle switch-off): when, which room, which command, who, the face, and what
// became of it. Kept with Qt SQL in an SQLite file (WAL) of the service's
// state folder; the writing and the searching run on a thread of their own
// (HistoryStore) with a connection of its own, so that a 500-room action
// never stalls the web side. Past one machine, the same records go to a
// PostgreSQL database (Qt's QPSQL driver), so that a district's schools
// keep one history. A command is answered once its record is
// committed, so what was answered "sent" survives a kill at any moment.
// Records older than keep= are pruned daily, and at most kMaxRows are kept.
#pragma once

#include "control/CommandEntry.h"
#include "serve/history/HistoryRecord.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class HistoryStore;
class QThread;

class History : public QObject
{
    Q_OBJECT
public:
    using Entry = HistoryRecord;
    using Filter = HistoryFilter;
    using Found = HistoryFound;

    static constexpr int kDefaultLimit = HistoryFilter::kDefaultLimit;
    static constexpr int kMaxLimit = HistoryFilter::kMaxLimit;
    static constexpr qint64 kMaxRows = 5'000'000;
    static constexpr int kDefaultKeepDays = 365;

    // The history file in the service's state folder: $STATE_DIRECTORY
    // (StateDirectory= of the unit), else $XDG_STATE_HOME/lumo, else
    // ~/.local/state/lumo.
    static QString DefaultPath();
    // Whether `database` names a PostgreSQL database (postgresql://USER@HOST:PORT/DB,
    // ?host=/socket/folder&sslmode=…) rather than an SQLite file.
    static bool IsPostgres(const QString& database);
    // What an answer of the entry point is recorded as, at `at`.
    static Entry Of(const CommandEntry::Request& request, const CommandResult& result,
                    const QDateTime& at);

    // Opens (or creates) the SQLite file `path`, or the PostgreSQL database
    // it names; Error() says why it could not.
    explicit History(const QString& path, int keepDays = kDefaultKeepDays,
                     QObject* parent = nullptr);
    ~History() override; // what was added is written first

    QString Error() const { return m_error; }
    void SetKeepDays(int days);
    // Adds the entry; `stored` runs on this thread once it is committed
    // (at once when the history could not be opened).
    void Add(const Entry& entry, std::function<void()> stored = {});
    // Searches on the history's thread; `found` runs on this thread.
    void Find(const Filter& filter, Found found);
    // Removes what is older than keep= (and beyond kMaxRows) now.
    void Prune();

private:
    QThread* m_thread = nullptr;
    HistoryStore* m_store = nullptr; // lives on m_thread
    QString m_error;
    int m_keepDays = kDefaultKeepDays;
    QTimer m_daily;
};
