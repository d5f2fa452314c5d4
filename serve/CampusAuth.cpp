#include "serve/CampusAuth.h"

#include "control/SameSecret.h"
#include "serve/PasswordHash.h"
#include "web/RemoteAccess.h"

#include <QCryptographicHash>

namespace
{
QByteArray digest(QByteArrayView secret)
{
    return QCryptographicHash::hash(secret, QCryptographicHash::Sha256);
}
} // namespace

void CampusAuth::SetAccounts(const QMap<QString, QString>& users,
                             const QMap<QString, QString>& tokens)
{
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        if (users.value(it->user) != m_users.value(it->user) || !users.contains(it->user))
            it = m_sessions.erase(it);
        else
            ++it;
    }
    m_knownTokens.removeIf([&](const Verified& known) {
        return !tokens.contains(known.name) || tokens.value(known.name) != m_tokens.value(known.name);
    });
    m_users = users;
    m_tokens = tokens;
}

bool CampusAuth::Matches(const QString& hash, QByteArrayView password)
{
    static const QString kNobody = PasswordHash::Make(RemoteAccess::NewSecret());
    return PasswordHash::Verify(hash.isEmpty() ? kNobody : hash, password) && !hash.isEmpty();
}

QByteArray CampusAuth::StartSession(const QString& user, const QString& hash, qint64 nowMs)
{
    if (hash.isEmpty() || m_users.value(user) != hash)
        return {};
    prune(nowMs);
    const QByteArray id = RemoteAccess::NewSecret();
    m_sessions.insert(digest(id), {user, nowMs});
    return id;
}

std::optional<QString> CampusAuth::SessionUser(QByteArrayView id, qint64 nowMs)
{
    if (id.isEmpty())
        return std::nullopt;
    const auto found = m_sessions.find(digest(id));
    if (found == m_sessions.end())
        return std::nullopt;
    if (nowMs - found->usedMs >= kIdleMs) {
        m_sessions.erase(found);
        return std::nullopt;
    }
    found->usedMs = nowMs;
    return found->user;
}

void CampusAuth::Logout(QByteArrayView id)
{
    m_sessions.remove(digest(id));
}

std::optional<QString> CampusAuth::KnownToken(QByteArrayView token) const
{
    const QByteArray given = digest(token);
    std::optional<QString> name;
    for (const Verified& known : m_knownTokens) // every one looked at
        if (SameSecret(known.digest, given))
            name = known.name;
    return name;
}

void CampusAuth::RememberToken(QByteArrayView token, const QString& name, const QString& hash)
{
    if (m_tokens.value(name) == hash && !KnownToken(token))
        m_knownTokens.append({digest(token), name});
}

QByteArray CampusAuth::Digest(QByteArrayView purpose, QByteArrayView secret)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(purpose);
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(secret);
    return hash.result();
}

std::optional<QString> CampusAuth::Match(const QMap<QString, QString>& hashes,
                                         QByteArrayView secret)
{
    if (secret.isEmpty() || secret.size() > PasswordHash::kMaxSecretBytes)
        return std::nullopt;
    for (auto it = hashes.cbegin(); it != hashes.cend(); ++it)
        if (PasswordHash::Verify(it.value(), secret))
            return it.key();
    return std::nullopt;
}

void CampusAuth::prune(qint64 nowMs)
{
    for (auto it = m_sessions.begin(); it != m_sessions.end();)
        it = nowMs - it->usedMs >= kIdleMs ? m_sessions.erase(it) : std::next(it);
    while (m_sessions.size() >= kMaxSessions) {
        auto oldest = m_sessions.begin();
        for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it)
            if (it->usedMs < oldest->usedMs)
                oldest = it;
        m_sessions.erase(oldest);
    }
}
