#include "serve/history/History.h"

#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "control/Logging.h"
#include "serve/config/ServeConfig.h"
#include "serve/history/HistoryDistrict.h"
#include "serve/history/HistoryStore.h"

#include <QDir>
#include <QStandardPaths>
#include <QThread>

#include <limits>
#include <memory>

namespace
{
constexpr int kDayMs = 24 * 3600 * 1000;
const char* const kPasswordCredential = "lumo-serve.pgpass";
} // namespace

QString History::DefaultPath()
{
    QString folder = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    if (folder.isEmpty() && !qEnvironmentVariableIsEmpty("XDG_STATE_HOME"))
        folder = QDir(qEnvironmentVariable("XDG_STATE_HOME")).filePath(QStringLiteral("lumo"));
    if (folder.isEmpty())
        folder = QDir::home().filePath(QStringLiteral(".local/state/lumo"));
    return QDir(folder).filePath(QStringLiteral("history.sqlite"));
}

bool History::IsPostgres(const QString& database)
{
    return ServeConfig::IsPostgres(database);
}

QString History::PasswordFile()
{
    if (!qEnvironmentVariableIsEmpty("PGPASSFILE"))
        return qEnvironmentVariable("PGPASSFILE");
    const QString credentials = qEnvironmentVariable("CREDENTIALS_DIRECTORY");
    const QString file = QDir(credentials).filePath(QLatin1String(kPasswordCredential));
    return !credentials.isEmpty() && QFileInfo(file).isFile() ? file : QString();
}

History::Entry History::Of(const CommandEntry::Request& request, const CommandResult& result,
                           const QDateTime& at)
{
    return {0,
            at.toUTC(),
            request.target.left(64),
            result.command ? CommandResolver::Name(*result.command) : request.word.left(64),
            request.who.isEmpty() ? CommandResult::FaceName(request.face) : request.who.left(128),
            CommandResult::FaceName(request.face),
            result.CodeName(),
            result.message.left(1024),
            {}};
}

History::History(const QString& journal, const QString& district, const QString& service,
                 int keepDays, QObject* parent)
    : QObject(parent), m_service(service), m_thread(new QThread(this)), m_keepDays(keepDays)
{
    m_store = new HistoryStore(this, [this](const HistoryStatus& journal) {
        const bool changed = journal.journalOk != m_status.journalOk ||
                             journal.waiting != m_status.waiting;
        m_status.journalOk = journal.journalOk;
        m_status.journalError = journal.journalError;
        m_status.waiting = journal.waiting;
        m_status.lost = journal.lost;
        if (changed)
            emit statusChanged();
    });
    m_thread->setObjectName(QStringLiteral("history"));
    m_store->moveToThread(m_thread);
    m_thread->start();
    QDir().mkpath(QFileInfo(journal).absolutePath());
    bool opened = false;
    QMetaObject::invokeMethod(
        m_store, [&] { opened = m_store->Open(journal, service, &m_error); },
        Qt::BlockingQueuedConnection);
    if (opened && !district.isEmpty()) {
        if (const QString file = PasswordFile(); !file.isEmpty())
            qputenv("PGPASSFILE", QFile::encodeName(file)); // libpq reads it there
        m_status.district = true;
        m_district = new HistoryDistrict(
            this, journal, district, service,
            [this](const HistoryDistrict::Progress& p) {
                const bool changed = p.up != m_status.districtUp || (p.behind > 0) != (m_status.behind > 0);
                m_status.districtUp = p.up;
                m_status.behind = p.behind;
                m_status.districtError = p.error;
                if (p.up)
                    m_copied = p.copied;
                if (changed)
                    emit statusChanged();
            },
            [this](bool working) {
                if (working) {
                    m_districtWaits.start();
                    // Said when it has waited too long, not only when it answers.
                    QTimer::singleShot(kHungAfterMs + 100, this, [this, at = m_districtWaits] {
                        if (m_districtWaits.isValid() && m_districtWaits == at)
                            emit statusChanged();
                    });
                } else {
                    m_districtWaits.invalidate();
                }
            });
        m_districtThread = new QThread; // not this object's: it may be left behind
        m_districtThread->setObjectName(QStringLiteral("history-district"));
        m_district->moveToThread(m_districtThread);
        m_districtThread->start();
        QMetaObject::invokeMethod(m_district, &HistoryDistrict::Start);
    }
    Prune();
    connect(&m_daily, &QTimer::timeout, this, &History::Prune);
    m_daily.start(kDayMs);
}

History::~History()
{
    QMetaObject::invokeMethod(m_store, &HistoryStore::Close, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_store;
    if (!m_districtThread)
        return;
    // A database that does not answer keeps its thread: the service ends
    // without it (the journal holds every record; it is copied next time).
    QMetaObject::invokeMethod(m_district, [d = m_district] {
        d->Close();
        d->thread()->quit();
    });
    if (m_districtThread->wait(kStopWithinMs)) {
        delete m_district;
        delete m_districtThread;
    } else {
        qCWarning(lcServe).noquote() << "the district history does not answer: the service ends "
                                        "without waiting for it";
        // Should it answer after all, its thread ends and both go then.
        QObject::connect(m_districtThread, &QThread::finished, m_districtThread,
                         [district = m_district, thread = m_districtThread] {
                             delete district;
                             thread->deleteLater();
                         });
    }
}

HistoryStatus History::Status() const
{
    HistoryStatus status = m_status;
    if (m_districtWaits.isValid() && m_districtWaits.elapsed() > kHungAfterMs) {
        status.districtUp = false;
        status.districtError = tr("the district's database has not answered for %1 s")
                                   .arg(m_districtWaits.elapsed() / 1000);
    }
    return status;
}

void History::SetKeepDays(int days)
{
    m_keepDays = days;
    Prune();
}

void History::Add(const Entry& entry, Stored stored)
{
    if (!m_error.isEmpty()) {
        if (stored)
            stored(false);
        return;
    }
    QMetaObject::invokeMethod(m_store, [store = m_store, entry, stored] { store->Add(entry, stored); });
}

void History::Find(const Filter& filter, Found found)
{
    const bool own = filter.service.isEmpty() || filter.service == m_service ||
                     (!m_district && filter.service == QLatin1String(Filter::kAllServices));
    if (own) {
        QMetaObject::invokeMethod(m_store, [store = m_store, filter, found, service = m_service] {
            store->Find(filter, [found, service](QList<Entry> entries, const QString& error) {
                for (Entry& e : entries)
                    e.service = service;
                found(entries, error);
            });
        });
        return;
    }
    if (!m_district)
        return found({}, {}); // no other service's records here
    // Answered once: by the database, or by the time limit.
    auto answered = std::make_shared<bool>(false);
    auto once = [answered, found](const QList<Entry>& entries, const QString& error) {
        if (!std::exchange(*answered, true))
            found(entries, error);
    };
    QTimer::singleShot(kFindWithinMs, this, [once] {
        once({}, tr("the district history did not answer within %1 s").arg(kFindWithinMs / 1000));
    });
    QMetaObject::invokeMethod(m_district, [d = m_district, filter, once] { d->Find(filter, once); });
}

QList<History::Entry> History::LastPerRoom(const Filter& filter)
{
    QList<Entry> last;
    if (m_error.isEmpty())
        QMetaObject::invokeMethod(
            m_store, [&] { last = m_store->LastPerRoom(filter); }, Qt::BlockingQueuedConnection);
    return last;
}

void History::Prune()
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addDays(-m_keepDays);
    // What the district has not copied yet stays in the journal.
    const qint64 upTo = m_district ? m_copied : std::numeric_limits<qint64>::max();
    QMetaObject::invokeMethod(m_store, [store = m_store, before, upTo] {
        store->Prune(before, kMaxRows, upTo);
    });
    if (m_district)
        QMetaObject::invokeMethod(m_district, [d = m_district, before] { d->Prune(before); });
}
