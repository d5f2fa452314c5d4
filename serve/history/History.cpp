#include "serve/history/History.h"

#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "serve/history/HistoryStore.h"
#include "serve/config/ServeConfig.h"

#include <QDir>
#include <QStandardPaths>
#include <QThread>

namespace
{
constexpr int kDayMs = 24 * 3600 * 1000;
}

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
            result.message.left(1024)};
}

History::History(const QString& path, int keepDays, QObject* parent)
    : QObject(parent), m_thread(new QThread(this)), m_store(new HistoryStore(this)),
      m_keepDays(keepDays)
{
    m_thread->setObjectName(QStringLiteral("history"));
    m_store->moveToThread(m_thread);
    m_thread->start();
    if (!IsPostgres(path))
        QDir().mkpath(QFileInfo(path).absolutePath());
    QMetaObject::invokeMethod(
        m_store, [this, path] { m_store->Open(path, &m_error); }, Qt::BlockingQueuedConnection);
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
}

void History::SetKeepDays(int days)
{
    m_keepDays = days;
    Prune();
}

void History::Add(const Entry& entry, std::function<void()> stored)
{
    if (!m_error.isEmpty()) {
        if (stored)
            stored();
        return;
    }
    QMetaObject::invokeMethod(m_store, [store = m_store, entry, stored] { store->Add(entry, stored); });
}

void History::Find(const Filter& filter, Found found)
{
    QMetaObject::invokeMethod(m_store, [store = m_store, filter, found] { store->Find(filter, found); });
}

void History::Prune()
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addDays(-m_keepDays);
    QMetaObject::invokeMethod(m_store, [store = m_store, before] { store->Prune(before, kMaxRows); });
}
