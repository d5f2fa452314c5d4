// What about a room's projector deserves a person's attention, raised once
// per occurrence and again every repeat= while it stands: an error in its
// health, lamp hours at or over lamp_alert=, unreachable for
// unreachable_alert=, and the events: not following projector-on/-off
// (not-followed), still on after a schedule switched it off (still-on).
// Plain bookkeeping: ProjectorWatch feeds it and says what it raises.
#pragma once

#include "control/ProjectorState.h"
#include "serve/config/ProjectorConfig.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

class ProjectorAlerts
{
public:
    struct Alert {
        QString kind;    // one of Kinds()
        QString message; // for a person, naming the room and the projector
    };

    // Every kind, in the order they are listed.
    static QStringList Kinds();

    void Configure(const ProjectorConfig& config) { m_config = config; }
    // The alerts the room's state raises now (`now`: ms of a steady clock),
    // those that stopped standing cleared; while it is unreachable, its
    // error and lamp alerts stand as they were.
    QList<Alert> Update(const QString& room, const QString& address, const ProjectorState& state,
                        qint64 now);
    // The room's standing alerts, for its "projector" object.
    QJsonArray Standing(const QString& room) const;
    void Forget(const QString& room);

private:
    struct Raised {
        QString message;
        qint64 at = 0; // when raised last (steady ms)
        QDateTime since;
    };
    ProjectorConfig m_config;
    QHash<QString, QHash<QString, Raised>> m_standing; // room → kind → alert
    QHash<QString, qint64> m_unreachableSince;          // room → steady ms
};
