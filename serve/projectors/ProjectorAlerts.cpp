#include "serve/projectors/ProjectorAlerts.h"

#include <QCoreApplication>
#include <QJsonObject>

#include <algorithm>

namespace
{
QString tr(const char* text)
{
    return QCoreApplication::translate("ProjectorAlerts", text);
}
} // namespace

QStringList ProjectorAlerts::Kinds()
{
    return {QStringLiteral("error"), QStringLiteral("lamp"), QStringLiteral("unreachable"),
            QStringLiteral("still-on"), QStringLiteral("not-followed")};
}

QList<ProjectorAlerts::Alert> ProjectorAlerts::Update(const QString& room, const QString& address,
                                                      const ProjectorState& state, qint64 now)
{
    QHash<QString, QString> standing; // kind → message
    if (!state.reachable) {
        if (!m_unreachableSince.contains(room))
            m_unreachableSince.insert(room, now);
        const qint64 since = m_unreachableSince.value(room);
        if (now - since >= m_config.unreachableAlertSeconds * 1000)
            standing.insert(QStringLiteral("unreachable"),
                            tr("Room %1: the projector at %2 has not answered for %3 minutes: %4")
                                .arg(room, address)
                                .arg((now - since) / 60000)
                                .arg(state.lastError));
    } else {
        m_unreachableSince.remove(room);
        QStringList errors;
        for (int part = 0; part < ProjectorState::PartCount; ++part)
            if (state.health[part] == ProjectorHealth::Error)
                errors.append(ProjectorState::PartText(ProjectorState::Part(part)));
        if (!errors.isEmpty())
            standing.insert(QStringLiteral("error"),
                            tr("Room %1: the projector at %2 reports an error: %3")
                                .arg(room, address, errors.join(QStringLiteral(", "))));
        int hours = 0;
        for (const ProjectorLamp& lamp : state.lamps)
            hours = std::max(hours, lamp.hours);
        if (m_config.lampAlertHours > 0 && hours >= m_config.lampAlertHours)
            standing.insert(QStringLiteral("lamp"),
                            tr("Room %1: the projector at %2 has a lamp of %3 hours (the alert is "
                               "at %4): replace it soon")
                                .arg(room, address)
                                .arg(hours)
                                .arg(m_config.lampAlertHours));
    }
    QList<Alert> raised;
    QHash<QString, Raised>& had = m_standing[room];
    // What it reported before stands while it cannot say: an outage does not
    // make its error or its lamp a new occurrence.
    for (auto it = had.begin(); it != had.end();)
        it = standing.contains(it.key()) ||
                     (!state.reachable && it.key() != QLatin1String("unreachable"))
                 ? std::next(it)
                 : had.erase(it);
    for (auto it = standing.cbegin(); it != standing.cend(); ++it) {
        const auto before = had.constFind(it.key());
        // The same error is one occurrence; a different part in error is a new one.
        const bool same = before != had.cend() &&
                          (it.key() != QLatin1String("error") || before->message == it.value());
        if (same && now - before->at < m_config.repeatSeconds * 1000)
            continue;
        Raised next{it.value(), now, same ? before->since : QDateTime::currentDateTimeUtc()};
        had.insert(it.key(), next);
        raised.append({it.key(), it.value()});
    }
    if (had.isEmpty())
        m_standing.remove(room);
    return raised;
}

QJsonArray ProjectorAlerts::Standing(const QString& room) const
{
    QJsonArray list;
    const QHash<QString, Raised> had = m_standing.value(room);
    for (const QString& kind : Kinds())
        if (const auto it = had.constFind(kind); it != had.cend())
            list.append(QJsonObject{{"kind", kind},
                                    {"message", it->message},
                                    {"since", it->since.toString(Qt::ISODate)}});
    return list;
}

void ProjectorAlerts::Forget(const QString& room)
{
    m_standing.remove(room);
    m_unreachableSince.remove(room);
}
