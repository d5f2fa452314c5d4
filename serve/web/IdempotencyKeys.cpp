#include "serve/web/IdempotencyKeys.h"

#include <QCryptographicHash>

#include <algorithm>
#include <utility>

std::optional<WebServer::Reply> IdempotencyKeys::Take(WebServer::Request& request,
                                                      const QString& who, bool* carryOut)
{
    *carryOut = true;
    const QByteArray key = request.Header("idempotency-key");
    if (key.isEmpty())
        return std::nullopt;
    *carryOut = false;
    if (key.size() > kMaxKeyBytes ||
        std::any_of(key.begin(), key.end(), [](char c) { return c < 0x21 || c > 0x7e; }))
        return WebServer::ErrorReply(
            WebServer::StatusCode::BadRequest,
            tr("An Idempotency-Key is 1 to %1 visible ASCII characters.").arg(kMaxKeyBytes));
    const QByteArray id = QCryptographicHash::hash(key, QCryptographicHash::Sha256);
    const QByteArray fingerprint =
        QCryptographicHash::hash(QByteArray::number(int(request.method)) + ' ' +
                                     request.path.toUtf8() + '\n' + request.body,
                                 QCryptographicHash::Sha256);
    Table& table = tableOf(who);
    if (Record* found = table.Find(id, m_clock.elapsed())) {
        if (found->fingerprint != fingerprint)
            return WebServer::ErrorReply(
                WebServer::StatusCode::UnprocessableEntity,
                tr("This Idempotency-Key was used for another request. Nothing was sent."));
        if (found->answer)
            return found->answer;
        found->waiting.append(request.answer);
        return std::nullopt;
    }
    if (!table.Insert(id, {fingerprint, std::nullopt, {}}, m_clock.elapsed()))
        return WebServer::ErrorReply(WebServer::StatusCode::ServiceUnavailable,
                                     tr("Too many of your requests are under way. Nothing was "
                                        "sent; try again."));
    *carryOut = true;
    request.answer = [this, alive = std::weak_ptr<int>(m_alive), who, id,
                      first = request.answer](const WebServer::Reply& reply) {
        first(reply);
        if (alive.expired())
            return;
        Record* found = tableOf(who).Find(id, m_clock.elapsed());
        if (!found)
            return;
        found->answer = reply;
        for (const WebServer::Later& later : std::exchange(found->waiting, {}))
            later(reply);
    };
    return std::nullopt;
}

IdempotencyKeys::Table& IdempotencyKeys::tableOf(const QString& who)
{
    return m_tables
        .try_emplace(who, kKeepMs, kMaxKeys, [](const Record& record) { return !record.answer; })
        .first->second;
}
