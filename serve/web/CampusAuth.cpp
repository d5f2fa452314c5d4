#include "serve/web/CampusAuth.h"

#include "control/SameSecret.h"
#include "serve/config/PasswordHash.h"
#include "http/RemoteAccess.h"

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
    m_sessions.RemoveIf([&](const QByteArray&, const QString& user) {
        return users.value(user) != m_users.value(user) || !users.contains(user);
    });
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
    const QByteArray id = RemoteAccess::NewSecret();
    m_sessions.Insert(digest(id), user, nowMs);
    return id;
}

std::optional<QString> CampusAuth::SessionUser(QByteArrayView id, qint64 nowMs)
{
    if (id.isEmpty())
        return std::nullopt;
    if (const QString* user = m_sessions.Touch(digest(id), nowMs))
        return *user;
    return std::nullopt;
}

void CampusAuth::Logout(QByteArrayView id)
{
    m_sessions.Remove(digest(id));
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

QString CampusAuth::NameOf(QByteArrayView token)
{
    const qsizetype dot = token.lastIndexOf('.');
    return dot <= 0 ? QString() : QString::fromUtf8(token.first(dot));
}

QMap<QString, QString> CampusAuth::Candidates(QByteArrayView token) const
{
    const QString name = NameOf(token);
    if (const auto found = m_tokens.constFind(name); !name.isEmpty() && found != m_tokens.cend())
        return {{name, *found}};
    return m_tokens;
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
