// Debian's PostgreSQL server for one test: a cluster made in a temporary
// folder, listening on a Unix socket there only, run as "nobody" when the
// test runs as root (the server refuses root). Stopped when destroyed.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class Postgres
{
public:
    ~Postgres();
    // Makes the cluster and starts the server; false with error() saying why.
    // With a password, the user lumo must give it (scram-sha-256).
    bool start(const QString& password = {});
    QString error() const { return m_error; }
    // postgresql://lumo@/postgres?host=FOLDER: the cluster's own database.
    QString url() const;
    // Stops (SIGSTOP) or continues (SIGCONT) the server and every process
    // it started: it then answers nothing, as a hung machine would.
    void pause(bool stopped);
    // Stops the server (fast: connections are cut) and starts it again.
    bool restart();

private:
    // `program` of the server's folder, as the cluster's owner.
    bool run(QProcess& process, const QString& program, const QStringList& arguments);

    bool startServer();

    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_error;
};
