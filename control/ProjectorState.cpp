#include "control/ProjectorState.h"

#include <QStringList>

QString ProjectorState::PowerText(ProjectorPower power)
{
    switch (power) {
    case ProjectorPower::Off:
        return QStringLiteral("off");
    case ProjectorPower::On:
        return QStringLiteral("on");
    case ProjectorPower::Cooling:
        return QStringLiteral("cooling");
    case ProjectorPower::WarmingUp:
        return QStringLiteral("warming up");
    case ProjectorPower::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString ProjectorState::HealthText(ProjectorHealth health)
{
    switch (health) {
    case ProjectorHealth::Ok:
        return QStringLiteral("ok");
    case ProjectorHealth::Warning:
        return QStringLiteral("warning");
    case ProjectorHealth::Error:
        return QStringLiteral("error");
    case ProjectorHealth::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString ProjectorState::PartText(Part part)
{
    static const char* const kNames[PartCount] = {"fan",   "lamp",   "temperature",
                                                  "cover", "filter", "other"};
    return part >= 0 && part < PartCount ? QLatin1String(kNames[part]) : QString();
}

QString ProjectorState::Faults() const
{
    QStringList faults;
    for (int part = 0; part < PartCount; ++part) {
        if (health[part] == ProjectorHealth::Warning || health[part] == ProjectorHealth::Error)
            faults << PartText(Part(part)) + QStringLiteral(": ") + HealthText(health[part]);
    }
    return faults.join(QStringLiteral(", "));
}
