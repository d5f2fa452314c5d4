#include "serve/IdempotencyKeys.h"

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
    prune();
    const QByteArray id = QCryptographicHash::hash(who.toUtf8() + '\n' + key,
                                                   QCryptographicHash::Sha256);
    const QByteArray fingerprint =
        QCryptographicHash::hash(QByteArray::number(int(request.method)) + ' ' +
                                     request.path.toUtf8() + '\n' + request.body,
                                 QCryptographicHash::Sha256);
    if (const auto found = m_records.find(id); found != m_records.end()) {
        if (found->fingerprint != fingerprint)
            return WebServer::ErrorReply(
                WebServer::StatusCode::UnprocessableEntity,
                tr("This Idempotency-Key was used for another request. Nothing was sent."));
        if (found->answer)
            return found->answer;
        found->waiting.append(request.answer);
        return std::nullopt;
    }
    m_records.insert(id, {fingerprint, std::nullopt, {}, m_clock.elapsed()});
    m_order.append(id);
    *carryOut = true;
    request.answer = [this, alive = std::weak_ptr<int>(m_alive), id,
                      first = request.answer](const WebServer::Reply& reply) {
        first(reply);
        if (alive.expired())
            return;
        const auto found = m_records.find(id);
        if (found == m_records.end())
            return;
        found->answer = reply;
        for (const WebServer::Later& later : std::exchange(found->waiting, {}))
            later(reply);
    };
    return std::nullopt;
}

void IdempotencyKeys::prune()
{
    const qint64 now = m_clock.elapsed();
    while (!m_order.isEmpty() &&
           (m_order.size() >= kMaxKeys || now - m_records.value(m_order.first()).atMs >= kKeepMs)) {
        const auto found = m_records.find(m_order.takeFirst());
        if (found == m_records.end())
            continue;
        for (const WebServer::Later& later : std::as_const(found->waiting))
            later(WebServer::ErrorReply(WebServer::StatusCode::ServiceUnavailable,
                                        tr("Too many requests are remembered. Try again.")));
        m_records.erase(found);
    }
}
