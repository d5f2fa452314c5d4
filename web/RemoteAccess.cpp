#include "web/RemoteAccess.h"

#include "control/SameSecret.h"

#include <QRandomGenerator>

#include <array>

QByteArray RemoteAccess::NewSecret()
{
    std::array<quint32, 6> words{};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    return QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

RemoteAccess::RemoteAccess(QByteArray secret) : m_secret(std::move(secret)) {}

bool RemoteAccess::Matches(QByteArrayView given) const
{
    return SameSecret(m_secret, given);
}

void RemoteAccess::Failed(const QHostAddress& from, qint64 nowMs)
{
    Record& record = m_records[from];
    record.failures.removeIf([nowMs](qint64 at) { return nowMs - at >= kWindowMs; });
    record.failures.append(nowMs);
    if (record.failures.size() >= kMaxFailures) {
        record.blockedUntil = nowMs + kWindowMs;
        record.failures.clear();
    }
}

bool RemoteAccess::Blocked(const QHostAddress& from, qint64 nowMs)
{
    const auto found = m_records.find(from);
    if (found == m_records.end())
        return false;
    if (found->blockedUntil > nowMs)
        return true;
    found->failures.removeIf([nowMs](qint64 at) { return nowMs - at >= kWindowMs; });
    if (found->failures.isEmpty())
        m_records.erase(found); // nothing left to remember about it
    return false;
}

bool RemoteAccess::HostAllowed(QByteArrayView host, const QList<QHostAddress>& ownAddresses,
                               const QStringList& names)
{
    QString name = QString::fromLatin1(host.data(), host.size()).trimmed().toLower();
    if (name.startsWith(QLatin1Char('['))) { // [IPv6]:port
        const qsizetype end = name.indexOf(QLatin1Char(']'));
        if (end < 0)
            return false;
        name = name.mid(1, end - 1);
    } else if (name.count(QLatin1Char(':')) == 1) {
        name.truncate(name.indexOf(QLatin1Char(':')));
    }
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (name.isEmpty())
        return false;
    if (name == QLatin1String("localhost"))
        return true;
    for (const QString& allowed : names)
        if (!allowed.trimmed().isEmpty() && name == allowed.trimmed().toLower())
            return true;
    const QHostAddress address(name);
    if (address.isNull())
        return false;
    for (const QHostAddress& own : ownAddresses)
        if (address.isEqual(own, QHostAddress::TolerantConversion))
            return true;
    return false;
}
