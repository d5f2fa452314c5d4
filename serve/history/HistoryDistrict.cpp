#include "serve/history/HistoryDistrict.h"

#include "control/Logging.h"
#include "serve/history/HistorySchema.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

namespace
{
// What a postgresql:// URL may say after "?", as libpq's options.
const char* const kUrlOptions[] = {"sslmode", "connect_timeout"};
} // namespace

HistoryDistrict::HistoryDistrict(QObject* home, const QString& journal, const QString& url,
                                 const QString& service, Told told, Working working)
    : m_home(home), m_journalPath(journal), m_url(url), m_service(service),
      m_told(std::move(told)), m_working(std::move(working)), m_timer(this)
{
    m_journal = QStringLiteral("lumo-journal-copy-%1").arg(quintptr(this));
    m_district = QStringLiteral("lumo-district-%1").arg(quintptr(this));
    m_timer.setInterval(kCopyEveryMs);
    connect(&m_timer, &QTimer::timeout, this, &HistoryDistrict::copy);
}

QString HistoryDistrict::ConnectOptions(const QString& text)
{
    const QUrlQuery query{QUrl(text)};
    QStringList options{QStringLiteral("connect_timeout=%1").arg(kConnectSeconds),
                        QStringLiteral("keepalives=1"), QStringLiteral("keepalives_idle=10"),
                        QStringLiteral("keepalives_interval=5"), QStringLiteral("keepalives_count=3"),
                        QStringLiteral("tcp_user_timeout=%1").arg(kStatementMs),
                        QStringLiteral("options='-c statement_timeout=%1 -c lock_timeout=%1'")
                            .arg(kStatementMs)};
    for (const char* option : kUrlOptions)
        if (query.hasQueryItem(QLatin1String(option)))
            options.append(QLatin1String(option) + QLatin1Char('=') +
                           query.queryItemValue(QLatin1String(option), QUrl::FullyDecoded)
                               .remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]"))));
    return options.join(QLatin1Char(';'));
}

void HistoryDistrict::Start()
{
    QSqlDatabase journal = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_journal);
    journal.setDatabaseName(m_journalPath);
    journal.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
    const QUrl url(m_url);
    const QUrlQuery query(url);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_district);
    // The password, if any, from libpq's own file (PGPASSFILE, ~/.pgpass).
    db.setHostName(query.hasQueryItem(QStringLiteral("host")) // a socket's folder
                       ? query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded)
                       : url.host());
    db.setPort(url.port(5432));
    db.setUserName(url.userName());
    db.setDatabaseName(url.path().mid(1));
    db.setConnectOptions(ConnectOptions(m_url));
    m_timer.start();
    copy();
}

void HistoryDistrict::Close()
{
    m_timer.stop();
    for (const QString& name : {m_journal, m_district}) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

template <typename Work> auto HistoryDistrict::waiting(Work work)
{
    if (m_home && m_working)
        QMetaObject::invokeMethod(m_home.data(), [w = m_working] { w(true); });
    auto result = work();
    if (m_home && m_working)
        QMetaObject::invokeMethod(m_home.data(), [w = m_working] { w(false); });
    return result;
}

bool HistoryDistrict::connectDistrict(QString* error)
{
    QSqlDatabase db = QSqlDatabase::database(m_district, false);
    if (!db.isValid()) {
        *error = QCoreApplication::translate("History", "this system has no Qt SQL driver for "
                                             "PostgreSQL (libqt6sql6-psql)");
        return false;
    }
    return waiting([&] {
        if (!db.open()) {
            *error = db.lastError().text();
            return false;
        }
        if (!HistorySchema::Prepare(db, true, m_service, error))
            return false;
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT COALESCE(MAX(journal_id), 0) FROM commands WHERE service = ?"));
        query.addBindValue(m_service);
        if (!query.exec() || !query.next()) {
            *error = query.lastError().text();
            return false;
        }
        m_copied = query.value(0).toLongLong();
        return true;
    });
}

void HistoryDistrict::lost(const QString& error)
{
    const QString where = QUrl(m_url).toDisplayString(QUrl::RemovePassword | QUrl::RemoveQuery);
    if (error != m_lastError)
        qCWarning(lcServe).noquote() << "the district history" << where
                                     << "takes no copy now:" << error.trimmed()
                                     << "- the journal keeps every record and it is copied later";
    m_lastError = error;
    m_up = false;
    QSqlDatabase::database(m_district, false).close();
    m_pauseMs = std::clamp(m_pauseMs * 2, kCopyEveryMs, kMaxPauseMs);
    m_nextTry = QDateTime::currentDateTimeUtc().addMSecs(m_pauseMs);
}

void HistoryDistrict::copy()
{
    if (!m_up) {
        if (m_nextTry.isValid() && QDateTime::currentDateTimeUtc() < m_nextTry)
            return;
        QString error;
        if (!connectDistrict(&error)) {
            lost(error);
        } else {
            if (!m_lastError.isEmpty())
                qCInfo(lcServe).noquote() << "the district history takes the copy again";
            m_up = true;
            m_pauseMs = 0;
            m_lastError.clear();
        }
    }
    QSqlDatabase journal = QSqlDatabase::database(m_journal, true);
    QSqlQuery read(journal);
    read.setForwardOnly(true);
    qint64 newest = 0;
    if (read.exec(QStringLiteral("SELECT MAX(id) FROM commands")) && read.next())
        newest = read.value(0).toLongLong();
    read.finish();
    bool more = false;
    if (m_up && newest > m_copied) {
        QList<std::pair<qint64, HistoryRecord>> batch;
        read.prepare(QStringLiteral("SELECT id, at, room, command, who, face, code, message, service "
                                    "FROM commands WHERE id > ? ORDER BY id LIMIT %1").arg(kBatch));
        read.addBindValue(m_copied);
        if (read.exec())
            while (read.next()) {
                HistoryRecord record = HistorySchema::Read(read);
                record.service = m_service;
                batch.append({record.id, record});
            }
        read.finish();
        QString error;
        const bool copied = !batch.isEmpty() && waiting([&] {
            QSqlDatabase db = QSqlDatabase::database(m_district, false);
            QSqlQuery insert(db);
            if (!db.transaction() || !insert.prepare(HistorySchema::Insert(true))) {
                error = db.lastError().text() + insert.lastError().text();
                return false;
            }
            for (const auto& [id, record] : batch) {
                for (const QVariant& value : HistorySchema::Values(record))
                    insert.addBindValue(value);
                insert.addBindValue(id);
                if (!insert.exec()) {
                    error = insert.lastError().text();
                    db.rollback();
                    return false;
                }
            }
            if (!db.commit()) {
                error = db.lastError().text();
                return false;
            }
            return true;
        });
        if (copied) {
            m_copied = batch.last().first;
            more = m_copied < newest;
        } else if (!batch.isEmpty()) {
            lost(error);
        }
    }
    if (m_home && m_told)
        QMetaObject::invokeMethod(m_home.data(), [told = m_told, p = Progress{m_up, std::max<qint64>(0, newest - m_copied), m_copied, m_lastError}] {
            told(p);
        });
    if (more)
        QMetaObject::invokeMethod(this, &HistoryDistrict::copy, Qt::QueuedConnection);
}

void HistoryDistrict::Find(const HistoryFilter& filter, const HistoryFound& found)
{
    QList<HistoryRecord> entries;
    QString error;
    QVariantList values;
    const QString service =
        filter.service == QLatin1String(HistoryFilter::kAllServices) ? QString() : filter.service;
    const QString sql = HistorySchema::Select(filter, service, &values);
    // A connection found lost (the database restarted) is made again once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m_up) {
            m_nextTry = {};
            copy();
        }
        if (!m_up) {
            error = QCoreApplication::translate("History", "the district history cannot be reached: %1")
                        .arg(m_lastError.trimmed());
            break;
        }
        error.clear();
        waiting([&] {
            QSqlQuery query(QSqlDatabase::database(m_district, false));
            query.setForwardOnly(true);
            query.prepare(sql);
            for (const QVariant& value : values)
                query.addBindValue(value);
            if (!query.exec())
                error = QCoreApplication::translate("History", "the district history cannot be read: %1")
                            .arg(query.lastError().text());
            while (query.next())
                entries.append(HistorySchema::Read(query));
            return true;
        });
        if (error.isEmpty())
            break;
        lost(error);
    }
    if (m_home)
        QMetaObject::invokeMethod(m_home.data(), [found, entries, error] { found(entries, error); });
}

void HistoryDistrict::Prune(const QDateTime& before)
{
    if (!m_up)
        return;
    waiting([&] {
        QSqlQuery query(QSqlDatabase::database(m_district, false));
        query.prepare(QStringLiteral("DELETE FROM commands WHERE service = ? AND at < ?"));
        query.addBindValue(m_service);
        query.addBindValue(before.toMSecsSinceEpoch());
        if (!query.exec())
            qCWarning(lcServe).noquote() << "the district history could not be pruned:"
                                         << query.lastError().text();
        return true;
    });
}
