// Commands that a client may send again without their being carried out
// again: a POST with an "Idempotency-Key" header (a string the client chose,
// unique to that request) is recorded with its answer for kKeepMs; the same
// key again from the same user or token gets that answer, or, while the
// first is still under way, the answer it will get. The same key for another
// request is refused. Each user and each token has a table of its own,
// bounded: at most kMaxKeys each, the oldest answered one forgotten first;
// a key whose answer is still under way is never forgotten (a table full
// of those takes no new key: 503).
#pragma once

#include "http/WebServer.h"

#include "control/ExpiringTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QList>

#include <map>
#include <memory>
#include <optional>

class IdempotencyKeys
{
    Q_DECLARE_TR_FUNCTIONS(IdempotencyKeys)

public:
    static constexpr qint64 kKeepMs = 10 * 60 * 1000;
    static constexpr int kMaxKeys = 1000; // per user or token
    static constexpr qsizetype kMaxKeyBytes = 255;

    IdempotencyKeys() { m_clock.start(); }

    // For a request of `who` with no key: nullopt, and `request` as it is.
    // With a key seen before: its answer (now, or nullopt and later through
    // request.answer), and `carryOut` false. With a new key: nullopt,
    // `carryOut` true, and `request.answer` recording the answer too.
    std::optional<WebServer::Reply> Take(WebServer::Request& request, const QString& who,
                                         bool* carryOut);

private:
    struct Record {
        QByteArray fingerprint; // method, path and body
        std::optional<WebServer::Reply> answer;
        QList<WebServer::Later> waiting;
    };
    using Table = ExpiringTable<QByteArray, Record>;
    Table& tableOf(const QString& who);

    QElapsedTimer m_clock;
    std::shared_ptr<int> m_alive = std::make_shared<int>(); // answers come after it went
    std::map<QString, Table> m_tables; // by user or token (the configuration's: bounded)
};
