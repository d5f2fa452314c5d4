#include "Postgres.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace
{
const QString kBin = QStringLiteral("/usr/lib/postgresql/15/bin/");
constexpr uid_t kNobody = 65534;
} // namespace

Postgres::~Postgres()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    pause(false); // a test that failed while it was stopped: none is left behind
    m_server.terminate(); // a smart shutdown: SIGTERM
    if (!m_server.waitForFinished(10'000))
        m_server.kill();
}

bool Postgres::run(QProcess& process, const QString& program, const QStringList& arguments)
{
    if (::geteuid() != 0) {
        process.start(kBin + program, arguments);
    } else {
        process.start(QStringLiteral("setpriv"),
                      QStringList{QStringLiteral("--reuid=%1").arg(kNobody),
                                  QStringLiteral("--regid=%1").arg(kNobody),
                                  QStringLiteral("--clear-groups"), kBin + program} +
                          arguments);
    }
    if (!process.waitForStarted()) {
        m_error = QStringLiteral("%1 cannot be started: %2").arg(program, process.errorString());
        return false;
    }
    return true;
}

bool Postgres::start(const QString& password)
{
    if (!QFileInfo(kBin + QStringLiteral("initdb")).isExecutable()) {
        m_error = QStringLiteral("no PostgreSQL server here (Debian's postgresql)");
        return false;
    }
    if (::geteuid() == 0 && ::chown(QFile::encodeName(m_dir.path()).constData(), kNobody, kNobody) != 0) {
        m_error = QStringLiteral("the cluster's folder cannot be given to nobody");
        return false;
    }
    const QString data = m_dir.filePath(QStringLiteral("data"));
    QString auth = QStringLiteral("--auth=trust");
    if (!password.isEmpty()) {
        QFile file(m_dir.filePath(QStringLiteral("password")));
        if (!file.open(QIODevice::WriteOnly) || file.write(password.toUtf8() + '\n') < 0)
            return false;
        file.close();
        if (::geteuid() == 0 && ::chown(QFile::encodeName(file.fileName()).constData(), kNobody, kNobody) != 0)
            return false;
        auth = QStringLiteral("--auth=scram-sha-256 --pwfile=") + file.fileName();
    }
    QProcess init;
    init.setProcessChannelMode(QProcess::MergedChannels);
    if (!run(init, QStringLiteral("initdb"),
             QStringList{QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("lumo"),
                         QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--no-locale")} +
                 auth.split(QLatin1Char(' '))))
        return false;
    if (!init.waitForFinished(120'000) || init.exitCode() != 0) {
        m_error = QStringLiteral("initdb failed: ") + QString::fromLocal8Bit(init.readAll().right(400));
        return false;
    }
    return startServer();
}

bool Postgres::startServer()
{
    const QString data = m_dir.filePath(QStringLiteral("data"));
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!run(m_server, QStringLiteral("postgres"),
             {QStringLiteral("-D"), data, QStringLiteral("-k"), m_dir.path(), QStringLiteral("-c"),
              QStringLiteral("listen_addresses="), QStringLiteral("-c"),
              QStringLiteral("log_min_messages=warning")}))
        return false;
    const QString socket = m_dir.filePath(QStringLiteral(".s.PGSQL.5432"));
    if (!QTest::qWaitFor([&] { return QFileInfo::exists(socket + QStringLiteral(".lock")) &&
                                      QFileInfo::exists(socket); },
                         30'000)) {
        m_error = QStringLiteral("the PostgreSQL server did not start");
        return false;
    }
    return true;
}

QString Postgres::url() const
{
    return QStringLiteral("postgresql://lumo@localhost/postgres?host=") + m_dir.path();
}

void Postgres::pause(bool stopped)
{
    // The server is setpriv's child when the test runs as root: every
    // process below the one started, found by its parent's ID.
    QList<qint64> tree{m_server.processId()};
    for (qsizetype i = 0; i < tree.size(); ++i)
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
            if (entry.toLongLong() <= 0 || !stat.open(QIODevice::ReadOnly))
                continue;
            const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
            if (fields.value(2).toLongLong() == tree[i])
                tree.append(entry.toLongLong());
        }
    for (const qint64 pid : tree)
        ::kill(pid_t(pid), stopped ? SIGSTOP : SIGCONT);
}

bool Postgres::restart()
{
    ::kill(pid_t(m_server.processId()), SIGINT); // a fast shutdown
    if (!m_server.waitForFinished(30'000))
        return false;
    const QString socket = m_dir.filePath(QStringLiteral(".s.PGSQL.5432"));
    QTest::qWaitFor([&] { return !QFileInfo::exists(socket + QStringLiteral(".lock")); }, 10'000);
    return startServer();
}
