// Debian's mosquitto broker on 127.0.0.1, on a port it holds (HeldPort), with
// its own configuration in a private directory: anonymous, or with accounts
// (the first the one its own clients use) and access rules (acl_file).
// Stopping and starting again keeps the port. Its clients (mosquitto_pub,
// mosquitto_sub) are run against it with the same account.
#pragma once

#include "HeldPort.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class Mosquitto
{
public:
    explicit Mosquitto(QString user = {}, QString password = {});
    ~Mosquitto();
    Mosquitto(const Mosquitto&) = delete;
    Mosquitto& operator=(const Mosquitto&) = delete;

    // Starts it and waits (bounded) until it takes connections; false, with
    // error() telling why, when it cannot be started.
    bool start();
    void stop();
    QString error() const { return m_error; }
    quint16 port() const { return m_port.port(); }
    // Another account, and the broker's access rules (mosquitto's acl_file
    // form), from the next start on.
    void addAccount(const QString& user, const QString& password);
    void useAcl(const QByteArray& rules) { m_acl = rules; }
    // Writes a file holding `password`, for [mqtt] password_file=.
    QString passwordFile(const QString& password) const;

    // mosquitto_pub of one message; true when it was handed to the broker.
    bool publish(const QString& topic, const QByteArray& payload, bool retain = false) const;
    // The same from another account.
    bool publishAs(const QString& user, const QString& topic, const QByteArray& payload,
                   bool retain = false) const;
    // The retained messages under `filter` as "topic payload" lines: waits
    // until `count` came, or at most `waitSeconds`.
    QStringList retained(const QString& filter, int count, int waitSeconds = 5) const;
    // A mosquitto_sub -v on `filter` that keeps running, for its lines.
    void watch(QProcess& sub, const QString& filter) const;

private:
    QStringList address(const QString& user = {}) const;

    QString m_user, m_password;
    QList<std::pair<QString, QString>> m_others; // more accounts
    QByteArray m_acl;
    QTemporaryDir m_dir;
    QProcess m_process;
    HeldPort m_port;
    QString m_error;
};
