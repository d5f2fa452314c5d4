#include "serve/history/HistoryStore.h"

#include "control/Logging.h"
#include "serve/config/ServeConfig.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

namespace
{
// The table, in SQLite's words or PostgreSQL's ("ID" stands for the key).
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS commands (id ID, at BIGINT NOT NULL, "
    "room TEXT NOT NULL, command TEXT NOT NULL, who TEXT NOT NULL, face TEXT NOT NULL, "
    "code TEXT NOT NULL, message TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS commands_room ON commands (room, id)",
    "CREATE INDEX IF NOT EXISTS commands_at ON commands (at)",
};
// What a postgresql:// URL may say after "?", as libpq's options.
const char* const kPostgresOptions[] = {"sslmode", "connect_timeout"};
// The write-ahead log is cut back to this after each checkpoint.
constexpr qint64 kMaxLogBytes = 4 * 1024 * 1024;

// A text column's value: "" for no text, never NULL.
QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QString errorOf(const QSqlQuery& query)
{
    return query.lastError().text();
}
} // namespace

bool HistoryStore::Open(const QString& path, QString* error)
{
    m_connection = QStringLiteral("lumo-history-%1").arg(quintptr(this));
    const QUrl url(path);
    const bool postgres = ServeConfig::IsPostgres(path);
    QSqlDatabase db =
        QSqlDatabase::addDatabase(postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
                                  m_connection);
    // Where it is, for messages: never with a password.
    const QString where = postgres ? url.toDisplayString(QUrl::RemovePassword) : path;
    if (!db.isValid()) {
        *error = QCoreApplication::translate("History", "the history %1 cannot be opened: this system has no Qt SQL driver "
                             "for it (libqt6sql6-psql, libqt6sql6-sqlite)")
                     .arg(where);
        return false;
    }
    if (postgres) {
        // The password, if any, from libpq's own file (PGPASSFILE, ~/.pgpass).
        const QUrlQuery query(url);
        db.setHostName(query.hasQueryItem(QStringLiteral("host")) // a socket's folder
                           ? query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded)
                           : url.host());
        db.setPort(url.port(5432));
        db.setUserName(url.userName());
        db.setDatabaseName(url.path().mid(1));
        QStringList options;
        for (const char* option : kPostgresOptions)
            if (query.hasQueryItem(QLatin1String(option)))
                options.append(QLatin1String(option) + QLatin1Char('=') +
                               query.queryItemValue(QLatin1String(option), QUrl::FullyDecoded));
        db.setConnectOptions(options.join(QLatin1Char(';')));
    } else {
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!db.open()) {
        *error = QCoreApplication::translate("History", "the history %1 cannot be opened: %2").arg(where, db.lastError().text());
        return false;
    }
    QStringList statements;
    if (!postgres) {
        // Other users have no business reading who did what.
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        statements << QStringLiteral("PRAGMA journal_mode=WAL")
                   << QStringLiteral("PRAGMA synchronous=NORMAL")
                   << QStringLiteral("PRAGMA journal_size_limit=%1").arg(kMaxLogBytes);
    }
    for (const char* statement : kSchema)
        statements << QString::fromLatin1(statement).replace(
            QLatin1String("id ID"), postgres ? QLatin1String("id BIGSERIAL PRIMARY KEY")
                                             : QLatin1String("id INTEGER PRIMARY KEY"));
    QSqlQuery query(db);
    for (const QString& statement : statements)
        if (!query.exec(statement)) {
            *error = QCoreApplication::translate("History", "the history %1 cannot be used: %2").arg(where, errorOf(query));
            return false;
        }
    return true;
}

void HistoryStore::Close()
{
    write();
    if (m_connection.isEmpty())
        return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

void HistoryStore::Add(const HistoryRecord& entry, std::function<void()> stored)
{
    m_waiting.append(entry);
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
    const QList<HistoryRecord> entries = std::exchange(m_waiting, {});
    const QList<std::function<void()>> stored = std::exchange(m_stored, {});
    if (!entries.isEmpty() && !m_connection.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.transaction();
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO commands (at, room, command, who, face, code, "
                                      "message) VALUES (?, ?, ?, ?, ?, ?, ?)"));
        bool ok = true;
        for (const HistoryRecord& e : entries) {
            for (const QVariant& value :
                 {QVariant(e.at.toMSecsSinceEpoch()), text(e.room), text(e.command), text(e.who),
                  text(e.face), text(e.code), text(e.message)})
                insert.addBindValue(value);
            ok = insert.exec() && ok;
        }
        if (!ok || !db.commit()) {
            qCWarning(lcServe).noquote()
                << "the history could not record" << entries.size()
                << "commands:" << (ok ? db.lastError().text() : errorOf(insert));
            db.rollback();
        }
    }
    if (!stored.isEmpty() && m_home)
        QMetaObject::invokeMethod(m_home.data(), [stored] {
            for (const auto& one : stored)
                one();
        });
}

void HistoryStore::Find(const HistoryFilter& filter, const HistoryFound& found)
{
    write(); // what was added before is found
    QString sql = QStringLiteral("SELECT id, at, room, command, who, face, code, message FROM "
                                 "commands WHERE 1=1");
    QVariantList values;
    if (!filter.rooms.isEmpty()) {
        sql += QStringLiteral(" AND room IN (%1)")
                   .arg(QStringList(filter.rooms.size(), QStringLiteral("?")).join(u','));
        for (const QString& room : filter.rooms)
            values.append(room);
    }
    for (const auto& [column, wanted] : {std::pair{QStringLiteral("command"), &filter.commands},
                                         std::pair{QStringLiteral("face"), &filter.faces}})
        if (!wanted->isEmpty()) {
            sql += QStringLiteral(" AND %1 IN (%2)")
                       .arg(column, QStringList(wanted->size(), QStringLiteral("?")).join(u','));
            for (const QString& one : *wanted)
                values.append(one);
        }
    if (filter.failedOnly)
        sql += QStringLiteral(" AND code <> 'sent'");
    if (filter.since.isValid()) {
        sql += QStringLiteral(" AND at >= ?");
        values.append(filter.since.toMSecsSinceEpoch());
    }
    if (filter.until.isValid()) {
        sql += QStringLiteral(" AND at < ?");
        values.append(filter.until.toMSecsSinceEpoch());
    }
    if (filter.before > 0) {
        sql += QStringLiteral(" AND id < ?");
        values.append(filter.before);
    }
    sql += QStringLiteral(" ORDER BY id DESC LIMIT %1")
               .arg(std::clamp(filter.limit, 1, HistoryFilter::kMaxLimit));
    QList<HistoryRecord> entries;
    QString error;
    if (m_connection.isEmpty()) {
        error = QCoreApplication::translate("History", "the history could not be opened");
    } else {
        QSqlQuery query(QSqlDatabase::database(m_connection, false));
        query.setForwardOnly(true);
        query.prepare(sql);
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (!query.exec())
            error = QCoreApplication::translate("History", "the history cannot be read: %1").arg(errorOf(query));
        while (query.next())
            entries.append({query.value(0).toLongLong(),
                            QDateTime::fromMSecsSinceEpoch(query.value(1).toLongLong(), Qt::UTC),
                            query.value(2).toString(), query.value(3).toString(),
                            query.value(4).toString(), query.value(5).toString(),
                            query.value(6).toString(), query.value(7).toString()});
    }
    if (m_home)
        QMetaObject::invokeMethod(m_home.data(), [found, entries, error] { found(entries, error); });
}

void HistoryStore::Prune(const QDateTime& before, qint64 maxRows)
{
    write();
    if (m_connection.isEmpty())
        return;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("DELETE FROM commands WHERE at < ? OR id <= "
                                 "(SELECT MAX(id) FROM commands) - ?"));
    query.addBindValue(before.toMSecsSinceEpoch());
    query.addBindValue(maxRows);
    if (!query.exec())
        qCWarning(lcServe).noquote() << "the history could not be pruned:" << errorOf(query);
}
