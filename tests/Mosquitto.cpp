#include "Mosquitto.h"

#include "StopProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpSocket>

#include <unistd.h>

Mosquitto::Mosquitto(QString user, QString password)
    : m_user(std::move(user)), m_password(std::move(password))
{
}

Mosquitto::~Mosquitto()
{
    stop();
}

QString Mosquitto::passwordFile(const QString& password) const
{
    const QString path = m_dir.filePath(QStringLiteral("password"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(password.toUtf8() + '\n');
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner); // a secret's file
    return path;
}

void Mosquitto::addAccount(const QString& user, const QString& password)
{
    m_others.append({user, password});
}

QStringList Mosquitto::address(const QString& user) const
{
    QStringList args{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                     QString::number(port())};
    QString password = m_password;
    for (const auto& [name, secret] : m_others)
        if (name == user)
            password = secret;
    if (!m_user.isEmpty())
        args << QStringLiteral("-u") << (user.isEmpty() ? m_user : user) << QStringLiteral("-P")
             << password;
    return args;
}

bool Mosquitto::start()
{
    const QString program = QStandardPaths::findExecutable(
        QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    if (program.isEmpty()) {
        m_error = QStringLiteral("mosquitto is not installed");
        return false;
    }
    if (!m_dir.isValid() || port() == 0) {
        m_error = QStringLiteral("no private directory or no free port");
        return false;
    }
    QByteArray config =
        "listener " + m_port.number() + " 127.0.0.1\npersistence false\n";
    if (::geteuid() == 0)
        config += "user root\n"; // it would become user mosquitto, who cannot read m_dir
    if (m_user.isEmpty()) {
        config += "allow_anonymous true\n";
    } else {
        const QString accounts = m_dir.filePath(QStringLiteral("accounts"));
        if (QProcess::execute(
                QStringLiteral("mosquitto_passwd"),
                {QStringLiteral("-c"), QStringLiteral("-b"), accounts, m_user, m_password}) != 0) {
            m_error = QStringLiteral("mosquitto_passwd failed");
            return false;
        }
        for (const auto& [user, password] : m_others)
            if (QProcess::execute(QStringLiteral("mosquitto_passwd"),
                                  {QStringLiteral("-b"), accounts, user, password}) != 0) {
                m_error = QStringLiteral("mosquitto_passwd failed");
                return false;
            }
        config += "allow_anonymous false\npassword_file " + accounts.toUtf8() + '\n';
    }
    if (!m_acl.isEmpty()) {
        QFile rules(m_dir.filePath(QStringLiteral("acl")));
        if (!rules.open(QIODevice::WriteOnly) || rules.write(m_acl) != m_acl.size()) {
            m_error = rules.errorString();
            return false;
        }
        config += "acl_file " + rules.fileName().toUtf8() + '\n';
    }
    QFile file(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size()) {
        m_error = file.errorString();
        return false;
    }
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program, {QStringLiteral("-c"), file.fileName()});
    const QDeadlineTimer deadline(20000);
    for (;;) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port());
        if (socket.waitForConnected(200))
            return true;
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning) {
            m_process.waitForFinished(100);
            m_error = QStringLiteral("mosquitto did not listen: %1")
                          .arg(QString::fromLocal8Bit(m_process.readAll()));
            stop();
            return false;
        }
        m_process.waitForFinished(50);
    }
}

void Mosquitto::stop()
{
    StopProcess(m_process);
}

bool Mosquitto::publish(const QString& topic, const QByteArray& payload, bool retain) const
{
    return publishAs({}, topic, payload, retain);
}

bool Mosquitto::publishAs(const QString& user, const QString& topic, const QByteArray& payload,
                          bool retain) const
{
    QStringList args = address(user);
    args << QStringLiteral("-q") << QStringLiteral("1") << QStringLiteral("-t") << topic
         << QStringLiteral("-m") << QString::fromUtf8(payload);
    if (retain)
        args << QStringLiteral("-r");
    return QProcess::execute(QStringLiteral("mosquitto_pub"), args) == 0;
}

QStringList Mosquitto::retained(const QString& filter, int count, int waitSeconds) const
{
    QProcess sub;
    sub.start(QStringLiteral("mosquitto_sub"),
              address() << QStringLiteral("-v") << QStringLiteral("--retained-only")
                        << QStringLiteral("-t") << filter << QStringLiteral("-C")
                        << QString::number(count) << QStringLiteral("-W")
                        << QString::number(waitSeconds));
    sub.waitForFinished((waitSeconds + 5) * 1000);
    QStringList lines;
    for (const QByteArray& line : sub.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            lines.append(QString::fromUtf8(line));
    return lines;
}

void Mosquitto::watch(QProcess& sub, const QString& filter) const
{
    sub.start(QStringLiteral("mosquitto_sub"),
              address() << QStringLiteral("-v") << QStringLiteral("-t") << filter);
    sub.waitForStarted(5000);
}
