// What a room's projector last said about itself: filled by the projector
// part (pjlink://) from one round of queries, and by the notices it sends.
// Plain data with no Qt Network, for every face to show.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

enum class ProjectorPower { Unknown, Off, On, Cooling, WarmingUp };
enum class ProjectorHealth { Unknown, Ok, Warning, Error };

struct ProjectorLamp {
    int hours = 0;
    bool on = false;
    friend bool operator==(const ProjectorLamp&, const ProjectorLamp&) = default;
};

struct ProjectorState {
    // The parts whose health the projector reports, in the order it reports them.
    enum Part { Fan, Lamp, Temperature, Cover, Filter, Other, PartCount };

    ProjectorPower power = ProjectorPower::Unknown;
    QString input;      // "31": the kind (1..6) then the number, empty if unknown
    QString inputName;  // "HDMI 1" (class 2)
    QStringList inputs; // the inputs it has
    QString inputResolution, recommendedResolution; // "1920x1080" (class 2)
    bool videoMuted = false;
    bool audioMuted = false;
    bool frozen = false;
    ProjectorHealth health[PartCount] = {};
    QList<ProjectorLamp> lamps;
    int filterHours = -1; // -1: not reported
    QString name, maker, model, other, serial, software;
    QString lampModel, filterModel; // replacement parts (class 2)
    int protocolClass = 0; // 1 or 2, 0 until known
    bool reachable = false;
    QString lastError;    // why the last poll or command failed, naming the projector
    QDateTime lastAnswer; // when it last answered, null if never

    static QString PowerText(ProjectorPower power);   // "warming up"
    static QString HealthText(ProjectorHealth health); // "warning"
    static QString PartText(Part part);                // "temperature"
    // "lamp: error, filter: warning", or empty when every part is ok or unknown.
    QString Faults() const;
};
