#include "serve/history/HistoryStore.h"

#include "control/Logging.h"
#include "serve/history/HistorySchema.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace
{
// The write-ahead log is cut back to this after each checkpoint.
constexpr qint64 kMaxLogBytes = 4 * 1024 * 1024;
} // namespace

HistoryStore::HistoryStore(QObject* home, Told told)
    : m_home(home), m_told(std::move(told)), m_retry(this)
{
    m_retry.setInterval(kRetryMs);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &HistoryStore::write);
}

bool HistoryStore::Open(const QString& path, const QString& service, QString* error)
{
    m_path = path;
    m_service = service;
    m_connection = QStringLiteral("lumo-journal-%1").arg(quintptr(this));
    if (!QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection).isValid()) {
        *error = QCoreApplication::translate("History", "the history %1 cannot be opened: this system has no Qt SQL driver "
                                             "for it (libqt6sql6-sqlite)")
                     .arg(path);
        return false;
    }
    QString why;
    if (!open(&why))
        tell(false, why);
    return true;
}

bool HistoryStore::open(QString* error)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        *error = QCoreApplication::translate("History", "the history %1 cannot be opened: %2")
                     .arg(m_path, db.lastError().text());
        return false;
    }
    // Other users have no business reading who did what.
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    QSqlQuery query(db);
    for (const QString& statement : {QStringLiteral("PRAGMA journal_mode=WAL"),
                                     QStringLiteral("PRAGMA synchronous=NORMAL"),
                                     QStringLiteral("PRAGMA journal_size_limit=%1").arg(kMaxLogBytes)})
        query.exec(statement);
    QString why;
    if (!HistorySchema::Prepare(db, false, m_service, &why)) {
        *error = QCoreApplication::translate("History", "the history %1 cannot be used: %2").arg(m_path, why);
        db.close();
        return false;
    }
    m_open = true;
    return true;
}

void HistoryStore::Close()
{
    m_retry.stop();
    write();
    if (m_connection.isEmpty())
        return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
    m_open = false;
}

void HistoryStore::tell(bool ok, const QString& error)
{
    if (!ok && !m_failing)
        qCWarning(lcServe).noquote() << "the history is failing:" << error
                                     << "- commands are carried out, their records wait in memory";
    else if (ok && m_failing)
        qCInfo(lcServe).noquote() << "the history is written again";
    m_failing = !ok;
    if (!ok && !m_retry.isActive())
        m_retry.start();
    HistoryStatus status;
    status.journalOk = ok;
    status.journalError = ok ? QString() : error;
    status.waiting = m_waiting.size();
    status.lost = m_lost;
    if (m_home && m_told)
        QMetaObject::invokeMethod(m_home.data(), [told = m_told, status] { told(status); });
}

void HistoryStore::Add(const HistoryRecord& entry, Stored stored)
{
    if (m_waiting.size() >= kMaxWaiting) {
        m_waiting.removeFirst(); // the oldest: bounded, and said
        if (m_lost++ == 0)
            qCWarning(lcServe).noquote() << "the history cannot keep more than" << kMaxWaiting
                                         << "records in memory: the oldest are lost";
    }
    m_waiting.append(entry);
    m_waiting.last().service = m_service;
    if (stored)
        m_stored.append(std::move(stored));
    if (!m_writeQueued) {
        m_writeQueued = true;
        QMetaObject::invokeMethod(this, &HistoryStore::write, Qt::QueuedConnection);
    }
}

void HistoryStore::write()
{
    m_writeQueued = false;
    const QList<Stored> stored = std::exchange(m_stored, {});
    const auto answer = [&](bool ok) {
        if (!stored.isEmpty() && m_home)
            QMetaObject::invokeMethod(m_home.data(), [stored, ok] {
                for (const auto& one : stored)
                    one(ok);
            });
    };
    if (m_connection.isEmpty() || (m_waiting.isEmpty() && !m_failing))
        return answer(!m_connection.isEmpty());
    QString error;
    bool ok = m_open || open(&error);
    if (ok && !m_waiting.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        ok = db.transaction();
        QSqlQuery insert(db);
        insert.prepare(HistorySchema::Insert(false));
        for (qsizetype i = 0; ok && i < m_waiting.size(); ++i) {
            for (const QVariant& value : HistorySchema::Values(m_waiting[i]))
                insert.addBindValue(value);
            ok = insert.exec();
        }
        error = insert.lastError().text();
        insert.finish();
        if (ok && !db.commit()) {
            ok = false;
            error = db.lastError().text();
        }
        if (ok)
            m_waiting.clear();
        else
            db.rollback();
        if (!ok && error.trimmed().isEmpty())
            error = db.lastError().text();
    }
    if (ok == m_failing || !ok)
        tell(ok, error);
    answer(ok);
}

void HistoryStore::Find(const HistoryFilter& filter, const HistoryFound& found)
{
    write(); // what was added before is found
    QVariantList values;
    const QString sql = HistorySchema::Select(filter, QString(), &values);
    QList<HistoryRecord> entries;
    QString error;
    if (!m_open) {
        error = QCoreApplication::translate("History", "the history could not be opened");
    } else {
        QSqlQuery query(QSqlDatabase::database(m_connection, false));
        query.setForwardOnly(true);
        query.prepare(sql);
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (!query.exec())
            error = QCoreApplication::translate("History", "the history cannot be read: %1")
                        .arg(query.lastError().text());
        while (query.next())
            entries.append(HistorySchema::Read(query));
    }
    if (m_home)
        QMetaObject::invokeMethod(m_home.data(), [found, entries, error] { found(entries, error); });
}

QList<HistoryRecord> HistoryStore::LastPerRoom(const HistoryFilter& filter)
{
    QList<HistoryRecord> last;
    if (!m_open)
        return last;
    HistoryFilter any = filter;
    any.limit = HistoryFilter::kMaxLimit;
    QVariantList values;
    const QString sql = HistorySchema::Select(any, QString(), &values);
    const qsizetype where = sql.indexOf(QLatin1String(" WHERE"));
    // The newest ID of each room, then those rows.
    const QString inner = QStringLiteral("SELECT MAX(id) FROM commands") +
                          sql.mid(where, sql.indexOf(QLatin1String(" ORDER BY")) - where) +
                          QStringLiteral(" GROUP BY room");
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id, at, room, command, who, face, code, message, service "
                                 "FROM commands WHERE id IN (%1) ORDER BY id")
                      .arg(inner));
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        qCWarning(lcServe).noquote() << "the history cannot be read:" << query.lastError().text();
    while (query.next())
        last.append(HistorySchema::Read(query));
    return last;
}

void HistoryStore::Prune(const QDateTime& before, qint64 maxRows, qint64 upTo)
{
    write();
    if (!m_open)
        return;
    // Older than keep=; then, beyond maxRows, refusals (unknown commands and
    // rooms) first, oldest first, so that no one who sends nonsense pushes
    // the commands carried out out of the history; only then the oldest of
    // the rest. Nothing not yet copied to the district (beyond upTo) goes.
    const QString overCap = QStringLiteral(
        "DELETE FROM commands WHERE id IN (SELECT id FROM commands WHERE id <= ? %1 ORDER BY id "
        "LIMIT max(0, (SELECT COUNT(*) FROM commands) - ?))");
    const struct {
        QString sql;
        QVariantList values;
    } steps[] = {
        {QStringLiteral("DELETE FROM commands WHERE at < ? AND id <= ?"),
         {before.toMSecsSinceEpoch(), upTo}},
        {overCap.arg(QStringLiteral("AND code IN ('unknown-command', 'no-such-room')")),
         {upTo, maxRows}},
        {overCap.arg(QString()), {upTo, maxRows}},
    };
    for (const auto& step : steps) {
        QSqlQuery query(QSqlDatabase::database(m_connection, false));
        query.prepare(step.sql);
        for (const QVariant& value : step.values)
            query.addBindValue(value);
        if (!query.exec()) {
            qCWarning(lcServe).noquote()
                << "the history could not be pruned:" << query.lastError().text();
            return;
        }
    }
}
