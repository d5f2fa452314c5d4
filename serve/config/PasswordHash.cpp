#include "serve/config/PasswordHash.h"

#include "control/SameSecret.h"

#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>

#include <optional>

namespace
{
constexpr auto kScheme = "pbkdf2-sha256";
constexpr int kSaltBytes = 16;
constexpr int kKeyBytes = 32;
// A file that names absurd work for one login is refused, not obeyed.
constexpr int kMaxRounds = 10'000'000;

struct Parts {
    int rounds;
    QByteArray salt, key;
};

std::optional<Parts> split(const QString& hash)
{
    const QStringList parts = hash.split(QLatin1Char('$'));
    if (parts.size() != 4 || parts[0] != QLatin1String(kScheme))
        return std::nullopt;
    bool ok = false;
    const int rounds = parts[1].toInt(&ok);
    const auto decode = [](const QString& text) {
        return QByteArray::fromBase64Encoding(text.toLatin1(),
                                              QByteArray::AbortOnBase64DecodingErrors);
    };
    const auto salt = decode(parts[2]);
    const auto key = decode(parts[3]);
    if (!ok || rounds < PasswordHash::kRounds || rounds > kMaxRounds || !salt || !key ||
        salt.decoded.size() < 8 || key.decoded.size() != kKeyBytes)
        return std::nullopt;
    return Parts{rounds, salt.decoded, key.decoded};
}

QByteArray derive(QByteArrayView secret, const QByteArray& salt, int rounds)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, secret.toByteArray(),
                                              salt, rounds, kKeyBytes);
}
} // namespace

QString PasswordHash::Make(QByteArrayView secret)
{
    QByteArray salt(kSaltBytes, Qt::Uninitialized);
    for (char& byte : salt)
        byte = char(QRandomGenerator::system()->bounded(256));
    return QStringLiteral("%1$%2$%3$%4")
        .arg(QLatin1String(kScheme))
        .arg(kRounds)
        .arg(QString::fromLatin1(salt.toBase64()),
             QString::fromLatin1(derive(secret, salt, kRounds).toBase64()));
}

bool PasswordHash::IsWellFormed(const QString& hash)
{
    return split(hash).has_value();
}

bool PasswordHash::Verify(const QString& hash, QByteArrayView secret)
{
    const std::optional<Parts> parts = split(hash);
    if (!parts || secret.size() > kMaxSecretBytes)
        return false;
    return SameSecret(parts->key, derive(secret, parts->salt, parts->rounds));
}
