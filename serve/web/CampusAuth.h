// Who may use the campus page and its interface: the users of [users], by
// password, each login a session (an unguessable ID in a cookie, kept in
// memory, ended by logging out or after kIdleMs without use), and scripts
// by a token of [tokens], given as NAME.SECRET: NAME picks the one entry
// whose hash is checked. Hashes are slow on purpose (PBKDF2), so a token
// once verified is remembered by its SHA-256 until its entry changes.
// Plain rules, no network: the server asks, this class answers.
#pragma once

#include "control/ExpiringTable.h"

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
    // or whose password changed end, and so do remembered tokens whose
    // entry is gone or changed; the rest stay.
    void SetAccounts(const QMap<QString, QString>& users, const QMap<QString, QString>& tokens);

    // Checking a password or token against its hash takes a fraction of a
    // second, so it is done apart (on a worker thread) in two steps: the
    // hash to check against, then what the check found.
    //
    // The hash of `user`'s password; empty for a user that does not exist.
    QString HashOf(const QString& user) const { return m_users.value(user); }
    // Whether `password` matches `hash`; slow. An empty hash (no such user)
    // takes as long and matches nothing: the time does not tell which
    // names exist.
    static bool Matches(const QString& hash, QByteArrayView password);
    // A new session's ID (192 random bits, URL-safe Base64) for `user`,
    // whose password was found to match `hash`; empty when the user is gone
    // or has another password by now. `nowMs`: a monotonic clock.
    QByteArray StartSession(const QString& user, const QString& hash, qint64 nowMs);
    // The user of a session that is still open; its idle time starts again.
    std::optional<QString> SessionUser(QByteArrayView id, qint64 nowMs);
    void Logout(QByteArrayView id);

    // The name of a token verified before; nullopt when it needs checking.
    std::optional<QString> KnownToken(QByteArrayView token) const;
    // The tokens to check an unknown one against: name → hash. For
    // NAME.SECRET whose NAME is a token's, that one entry; for a token
    // without a name (or one of no entry) every entry, so that tokens given
    // before they had names still work.
    QMap<QString, QString> Candidates(QByteArrayView token) const;
    // NAME of NAME.SECRET (secrets hold no '.'); empty when there is none.
    static QString NameOf(QByteArrayView token);
    // The token was found to match `hash`, the hash of token `name`: it is
    // known from now on, unless the tokens changed meanwhile.
    void RememberToken(QByteArrayView token, const QString& name, const QString& hash);
    // SHA-256 of `secret` under `purpose`: the same secret, the same digest.
    static QByteArray Digest(QByteArrayView purpose, QByteArrayView secret);
    // Whose hash in `hashes` `secret` matches, if anyone's; slow.
    static std::optional<QString> Match(const QMap<QString, QString>& hashes, QByteArrayView secret);

private:
    struct Verified {
        QByteArray digest; // SHA-256 of the token
        QString name;
    };

    QMap<QString, QString> m_users, m_tokens;
    // Each session's user, by SHA-256 of the ID.
    ExpiringTable<QByteArray, QString> m_sessions{kIdleMs, kMaxSessions};
    QList<Verified> m_knownTokens;
};
