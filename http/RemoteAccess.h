// Who may use the phone remote: the holder of the secret (compared in
// constant time), from an address that has not failed too often, asking
// for this PC by one of its own names (no DNS rebinding from a page
// elsewhere). Plain rules, no network: the server asks, this class answers.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QStringList>

#include <utility>

class RemoteAccess
{
public:
    // Failed attempts an address may make in kWindowMs before it is refused
    // for kWindowMs.
    static constexpr int kMaxFailures = 10;
    static constexpr qint64 kWindowMs = 60'000;
    // Addresses whose failures are remembered; beyond, the one that failed
    // least recently is forgotten.
    static constexpr int kMaxRecords = 4096;

    // A fresh secret of 192 random bits, URL-safe Base64 (32 characters).
    static QByteArray NewSecret();

    explicit RemoteAccess(QByteArray secret = NewSecret());

    const QByteArray& Secret() const { return m_secret; }
    // Whether `given` is the secret; the time taken does not depend on
    // where the two differ.
    bool Matches(QByteArrayView given) const;

    // Failures of an address, counted for it and (IPv6) for its /64 alike
    // (`nowMs`: a monotonic clock in milliseconds).
    void Failed(const QHostAddress& from, qint64 nowMs);
    // Whether the address itself is refused now: requests that prove
    // nothing are refused.
    bool AddressBlocked(const QHostAddress& from, qint64 nowMs);
    // Whether the address or its /64 is refused now. A /64 refused does not
    // refuse its other addresses (the teachers of a segment): their checks
    // only go last (Suspect).
    bool Blocked(const QHostAddress& from, qint64 nowMs);
    // Whether the address or its /64 failed within the window.
    bool Suspect(const QHostAddress& from, qint64 nowMs);
    // Addresses whose failures are remembered now.
    qsizetype Remembered() const { return m_records.size(); }

    // Whether a request's Host header (with or without a port) names this
    // PC: one of `ownAddresses`, localhost, or one of `names`.
    // The address that counts for limits: an IPv6 address by its /64 (one
    // computer may have all of them), an IPv4-mapped one as IPv4.
    static QHostAddress Group(const QHostAddress& address);
    // The address that counts alone: IPv4 (mapped or not) as IPv4, IPv6 whole.
    static QHostAddress Own(const QHostAddress& address);

    static bool HostAllowed(QByteArrayView host, const QList<QHostAddress>& ownAddresses,
                            const QStringList& names);

private:
    struct Record {
        QList<qint64> failures; // within the last window
        qint64 blockedUntil = 0;
        qint64 lastMs = 0;
    };

    static void count(QHash<QHostAddress, Record>& records, const QHostAddress& key, qint64 nowMs);
    static std::pair<bool, bool> state(QHash<QHostAddress, Record>& records,
                                       const QHostAddress& key, qint64 nowMs);

    QByteArray m_secret;
    QHash<QHostAddress, Record> m_records;  // by address
    QHash<QHostAddress, Record> m_networks; // by IPv6 /64
};
