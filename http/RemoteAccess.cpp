#include "http/RemoteAccess.h"

#include "control/SameSecret.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
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

QHostAddress RemoteAccess::Group(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        return QHostAddress(v4);
    Q_IPV6ADDR bytes = address.toIPv6Address();
    for (int i = 8; i < 16; ++i)
        bytes[i] = 0;
    return QHostAddress(bytes);
}

QHostAddress RemoteAccess::Own(const QHostAddress& address)
{
    const QHostAddress group = Group(address);
    return group.protocol() == QAbstractSocket::IPv4Protocol ? group : address;
}

void RemoteAccess::count(QHash<QHostAddress, Record>& records, const QHostAddress& key,
                         qint64 nowMs)
{
    if (!records.contains(key) && records.size() >= kMaxRecords) {
        // An address refused now goes last (it fails no more while refused).
        const auto age = [](const Record& r) { return std::max(r.lastMs, r.blockedUntil); };
        auto oldest = records.begin();
        for (auto it = records.begin(); it != records.end(); ++it)
            if (age(*it) < age(*oldest))
                oldest = it;
        records.erase(oldest);
    }
    Record& record = records[key];
    record.lastMs = nowMs;
    record.failures.removeIf([nowMs](qint64 at) { return nowMs - at >= kWindowMs; });
    record.failures.append(nowMs);
    if (record.failures.size() >= kMaxFailures) {
        record.blockedUntil = nowMs + kWindowMs;
        record.failures.clear();
    }
}

void RemoteAccess::Failed(const QHostAddress& from, qint64 nowMs)
{
    const QHostAddress own = Own(from);
    count(m_records, own, nowMs);
    if (const QHostAddress network = Group(from); network != own)
        count(m_networks, network, nowMs);
}

// Whether `key` is refused now, and whether it failed within the window.
std::pair<bool, bool> RemoteAccess::state(QHash<QHostAddress, Record>& records,
                                          const QHostAddress& key, qint64 nowMs)
{
    const auto found = records.find(key);
    if (found == records.end())
        return {false, false};
    if (found->blockedUntil > nowMs)
        return {true, true};
    found->failures.removeIf([nowMs](qint64 at) { return nowMs - at >= kWindowMs; });
    if (found->failures.isEmpty()) {
        records.erase(found); // nothing left to remember about it
        return {false, false};
    }
    return {false, true};
}

bool RemoteAccess::AddressBlocked(const QHostAddress& from, qint64 nowMs)
{
    return state(m_records, Own(from), nowMs).first;
}

bool RemoteAccess::Blocked(const QHostAddress& from, qint64 nowMs)
{
    return AddressBlocked(from, nowMs) || state(m_networks, Group(from), nowMs).first;
}

bool RemoteAccess::Suspect(const QHostAddress& from, qint64 nowMs)
{
    return state(m_records, Own(from), nowMs).second ||
           state(m_networks, Group(from), nowMs).second;
}

bool RemoteAccess::HostAllowed(QByteArrayView host, const QList<QHostAddress>& ownAddresses,
                               const QStringList& names)
{
    // host = "[" IPv6 "]" [":" port] | name-or-IPv4 [":" port], port 1 to 5 digits.
    const QString given = QString::fromLatin1(host.data(), host.size()).toLower();
    static const QRegularExpression kGrammar(QStringLiteral(
        "^(?:\\[([0-9a-f:.]+)\\]|([a-z0-9._-]+))(?::[0-9]{1,5})?$"));
    const QRegularExpressionMatch parts = kGrammar.match(given);
    if (!parts.hasMatch())
        return false;
    const bool bracketed = parts.capturedLength(1) > 0;
    QString name = bracketed ? parts.captured(1) : parts.captured(2);
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (name.isEmpty())
        return false;
    if (!bracketed && name == QLatin1String("localhost"))
        return true;
    for (const QString& allowed : names)
        if (!bracketed && !allowed.trimmed().isEmpty() && name == allowed.trimmed().toLower())
            return true;
    const QHostAddress address(name);
    if (address.isNull() || bracketed != (address.protocol() == QAbstractSocket::IPv6Protocol))
        return false;
    for (const QHostAddress& own : ownAddresses)
        if (address.isEqual(own, QHostAddress::TolerantConversion))
            return true;
    return false;
}
