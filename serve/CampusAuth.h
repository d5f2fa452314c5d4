// Who may use the campus page and its interface: the users of [users], by
// password, each login a session (an unguessable ID in a cookie, kept in
// memory, ended by logging out or after kIdleMs without use), and scripts
// by a token of [tokens]. Hashes are slow on purpose (PBKDF2), so a token
// once verified is remembered by its SHA-256 until the accounts change.
// Plain rules, no network: the server asks, this class answers.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

class CampusAuth
{
public:
    static constexpr qint64 kIdleMs = 12LL * 3600 * 1000;
    // Sessions beyond this many end, the longest unused first.
    static constexpr int kMaxSessions = 10'000;

    // Name → hash, as in the configuration. Sessions of users that are gone
    // or whose password changed end; remembered tokens are forgotten.
    void SetAccounts(const QMap<QString, QString>& users, const QMap<QString, QString>& tokens);

    // A new session's ID (192 random bits, URL-safe Base64) when the
    // password is the user's; empty otherwise. `nowMs`: a monotonic clock.
    QByteArray Login(const QString& user, QByteArrayView password, qint64 nowMs);
    // The user of a session that is still open; its idle time starts again.
    std::optional<QString> SessionUser(QByteArrayView id, qint64 nowMs);
    void Logout(QByteArrayView id);
    // The name of the token in [tokens], if `token` is one.
    std::optional<QString> TokenName(QByteArrayView token);

private:
    struct Session {
        QString user;
        qint64 usedMs = 0;
    };
    struct KnownToken {
        QByteArray digest; // SHA-256 of the token
        QString name;
    };

    void prune(qint64 nowMs);

    QMap<QString, QString> m_users, m_tokens;
    QHash<QByteArray, Session> m_sessions; // by SHA-256 of the ID
    QList<KnownToken> m_knownTokens;
};
