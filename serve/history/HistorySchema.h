// The history's table, the same in the local journal (SQLite) and in a
// district's PostgreSQL database, with its version: made when missing,
// brought up from an older version, refused when newer than this program.
// Also how a search becomes a statement and a row becomes a record.
#pragma once

#include "serve/history/HistoryRecord.h"

#include <QSqlDatabase>
#include <QVariantList>

class QSqlQuery;

class HistorySchema
{
public:
    // 1: the table without its service and journal_id; 2: with them.
    static constexpr int kVersion = 2;

    // Makes the table or brings it to kVersion; rows of version 1 in a
    // journal become `service`'s (a district's stay without a service).
    static bool Prepare(QSqlDatabase& db, bool postgres, const QString& service, QString* error);
    // The SELECT of `filter`, newest first, with its values; `service` is the
    // one asked for, "" for every row.
    static QString Select(const HistoryFilter& filter, const QString& service, QVariantList* values);
    // A row of Select() as a record.
    static HistoryRecord Read(const QSqlQuery& query);
    // The columns an INSERT writes, in the order of Values().
    static QString Insert(bool withJournalId);
    static QVariantList Values(const HistoryRecord& entry);
};
