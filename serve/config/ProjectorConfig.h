// The rooms' projectors in the campus service's configuration, and where
// their alerts go:
//
//   [rooms]
//   r101\projector=pjlink://10.1.1.201       pjlink://HOST[:PORT] (4352)
//   [projectors]
//   password_file=/etc/lumo/projectors        "r101=SECRET" lines, or one line
//                                             for every projector; never in serve.conf
//   poll=30                                   seconds between a projector's polls
//   parallel=16                               polls under way at once, at most
//   follow=60                                 seconds a projector has to follow
//                                             projector-on/-off (warm-up, cool-down)
//   notices=4352                              UDP port for status notices (0: none)
//   lamp_alert=3000                           lamp hours that raise an alert (0: none)
//   unreachable_alert=10m                     unreachable this long raises an alert
//   repeat=1d                                 an alert still standing is raised again
//   [alerts]
//   mail_to=av@school.example,…               alerts by mail through sendmail
//   sendmail=/usr/sbin/sendmail
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QMap>
#include <QString>
#include <QStringList>

struct ProjectorConfig {
    Q_DECLARE_TR_FUNCTIONS(ProjectorConfig)

public:
    static constexpr int kMaxParallel = 256;
    // A password file larger than this is refused unread.
    static constexpr qint64 kMaxPasswordFileBytes = 256 * 1024;
    // noticePort set by a program (a test), never by the file: notices on
    // any free UDP port, which ProjectorWatch::NoticePort() says.
    static constexpr int kAnyNoticePort = -1;

    QString passwordFile;
    QByteArray sharedPassword;             // the file's one line without "ROOM="
    QMap<QString, QByteArray> passwords;   // room → its password
    int pollSeconds = 30;
    int parallel = 16;
    int followSeconds = 60;
    int noticePort = 0; // 0: none
    int lampAlertHours = 0;
    qint64 unreachableAlertSeconds = 600;
    qint64 repeatSeconds = 86400;
    QStringList mailTo;
    QString sendmail = QStringLiteral("/usr/sbin/sendmail");

    // The password of `room`'s projector (empty: none).
    QByteArray PasswordOf(const QString& room) const
    {
        return passwords.value(room, sharedPassword);
    }
    // Takes one key of [projectors] or [alerts] (`alerts`); the reason it
    // is refused, or nothing. `seconds` reads "90s", "10m", "1d".
    QString Set(bool alerts, const QString& key, const QString& value);
    // Reads the password file (`path`, as located); the reason it cannot be
    // used, or nothing. Never names a password.
    QString ReadPasswords(const QString& path);
    // Whether `url` is pjlink://HOST[:PORT]; the reason when it is not.
    static QString CheckUrl(const QString& url);

    bool operator==(const ProjectorConfig&) const = default;
};
