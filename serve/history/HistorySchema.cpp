#include "serve/history/HistorySchema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace
{
// The table, in SQLite's words or PostgreSQL's ("ID" stands for the key).
const char* const kTable =
    "CREATE TABLE IF NOT EXISTS commands (id ID, at BIGINT NOT NULL, "
    "room TEXT NOT NULL, command TEXT NOT NULL, who TEXT NOT NULL, face TEXT NOT NULL, "
    "code TEXT NOT NULL, message TEXT NOT NULL, service TEXT NOT NULL DEFAULT '', "
    "journal_id BIGINT)";
const char* const kIndexes[] = {
    "CREATE INDEX IF NOT EXISTS commands_room ON commands (room, id)",
    "CREATE INDEX IF NOT EXISTS commands_at ON commands (at)",
    "CREATE INDEX IF NOT EXISTS commands_service ON commands (service, at)",
    // A journal's record is copied once: the district keeps it once.
    "CREATE UNIQUE INDEX IF NOT EXISTS commands_copy ON commands (service, journal_id)",
};
constexpr qint64 kLock = 0x6c756d6f; // this table's, among the database's advisory locks
const char* const kColumns = "id, at, room, command, who, face, code, message, service";

// A text column's value: "" for no text, never NULL.
QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}
} // namespace

bool HistorySchema::Prepare(QSqlDatabase& db, bool postgres, const QString& service,
                            QString* error)
{
    QSqlQuery query(db);
    const auto exec = [&](const QString& statement, const QVariantList& values = {}) {
        // PostgreSQL prepares no CREATE or ALTER: those go as they are.
        if (values.isEmpty() ? query.exec(statement)
                             : query.prepare(statement) && (query.addBindValue(values.value(0)), query.exec()))
            return true;
        *error = query.lastError().text();
        return false;
    };
    if (!db.transaction() && postgres) {
        *error = db.lastError().text();
        return false;
    }
    const bool done = [&] {
        // Two services starting at once on one database make the table once.
        if (postgres && !exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kLock)))
            return false;
        if (!exec(QStringLiteral("CREATE TABLE IF NOT EXISTS history_schema (version INTEGER NOT NULL)")) ||
            !exec(QStringLiteral("SELECT MAX(version) FROM history_schema")))
            return false;
        const int version = query.next() ? query.value(0).toInt() : 0;
        if (version > kVersion) {
            *error = QStringLiteral("its table is of version %1, newer than this program's (%2)")
                         .arg(version)
                         .arg(kVersion);
            return false;
        }
        if (version == kVersion)
            return true;
        const bool older = db.tables().contains(QStringLiteral("commands")) &&
                           !db.record(QStringLiteral("commands")).contains(QStringLiteral("service"));
        if (older &&
            (!exec(QStringLiteral("ALTER TABLE commands ADD COLUMN service TEXT NOT NULL DEFAULT ''")) ||
             !exec(QStringLiteral("ALTER TABLE commands ADD COLUMN journal_id BIGINT")) ||
             (!postgres && !exec(QStringLiteral("UPDATE commands SET service = ?"), {service}))))
            return false;
        if (!exec(QString::fromLatin1(kTable).replace(
                QLatin1String("id ID"), postgres ? QLatin1String("id BIGSERIAL PRIMARY KEY")
                                                 : QLatin1String("id INTEGER PRIMARY KEY"))))
            return false;
        for (const char* index : kIndexes)
            if (!exec(QString::fromLatin1(index)))
                return false;
        return exec(QStringLiteral("DELETE FROM history_schema")) &&
               exec(QStringLiteral("INSERT INTO history_schema (version) VALUES (%1)").arg(kVersion));
    }();
    query.finish();
    if (!done) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        *error = db.lastError().text();
        return false;
    }
    return true;
}

QString HistorySchema::Select(const HistoryFilter& filter, const QString& service,
                              QVariantList* values)
{
    QString sql = QStringLiteral("SELECT %1 FROM commands WHERE 1=1").arg(QLatin1String(kColumns));
    const auto in = [&](const char* column, const QStringList& list) {
        if (list.isEmpty())
            return;
        sql += QStringLiteral(" AND %1 IN (%2)")
                   .arg(QLatin1String(column), QStringList(list.size(), QStringLiteral("?")).join(u','));
        for (const QString& value : list)
            values->append(value);
    };
    if (!service.isEmpty())
        in("service", {service});
    in("room", filter.rooms);
    for (const HistoryFilter::Column& column : HistoryFilter::Columns)
        in(column.name, filter.*column.values);
    if (filter.failedOnly)
        sql += QStringLiteral(" AND code NOT IN ('sent', 'observed')");
    if (filter.since.isValid()) {
        sql += QStringLiteral(" AND at >= ?");
        values->append(filter.since.toMSecsSinceEpoch());
    }
    if (filter.until.isValid()) {
        sql += QStringLiteral(" AND at < ?");
        values->append(filter.until.toMSecsSinceEpoch());
    }
    if (filter.before > 0) {
        sql += QStringLiteral(" AND id < ?");
        values->append(filter.before);
    }
    return sql + QStringLiteral(" ORDER BY id DESC LIMIT %1")
                     .arg(std::clamp(filter.limit, 1, HistoryFilter::kMaxLimit));
}

HistoryRecord HistorySchema::Read(const QSqlQuery& query)
{
    return {query.value(0).toLongLong(),
            QDateTime::fromMSecsSinceEpoch(query.value(1).toLongLong(), Qt::UTC),
            query.value(2).toString(),
            query.value(3).toString(),
            query.value(4).toString(),
            query.value(5).toString(),
            query.value(6).toString(),
            query.value(7).toString(),
            query.value(8).toString()};
}

QString HistorySchema::Insert(bool withJournalId)
{
    return withJournalId
               ? QStringLiteral("INSERT INTO commands (at, room, command, who, face, code, message, "
                                "service, journal_id) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) "
                                "ON CONFLICT (service, journal_id) DO NOTHING")
               : QStringLiteral("INSERT INTO commands (at, room, command, who, face, code, message, "
                                "service) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
}

QVariantList HistorySchema::Values(const HistoryRecord& e)
{
    return {QVariant(e.at.toMSecsSinceEpoch()), text(e.room), text(e.command), text(e.who),
            text(e.face), text(e.code), text(e.message), text(e.service)};
}
