#include "dialogs/PanelProjector.h"

#include "control/ProjectorLink.h"
#include "control/ProjectorPart.h"
#include "control/ProjectorInterface.h"

#include <algorithm>

PanelProjector::PanelProjector(QObject* parent) : QObject(parent)
{
    m_poll.setInterval(kPollMs);
}

PanelProjector* PanelProjector::Make(const QString& url, QObject* parent)
{
    if (url.isEmpty())
        return nullptr;
    auto* projector = new PanelProjector(parent);
    QString error;
    const ProjectorInterface* part = ProjectorPart::Load(&error);
    if (part)
        projector->m_link = part->Make(url, {}, projector, &error);
    if (!projector->m_link) {
        projector->say(tr("Projector: %1").arg(error));
        return projector;
    }
    connect(projector->m_link, &ProjectorLink::polled, projector, &PanelProjector::show);
    connect(projector->m_link, &ProjectorLink::changed, projector, &PanelProjector::show);
    connect(&projector->m_poll, &QTimer::timeout, projector->m_link, &ProjectorLink::Poll);
    projector->m_poll.start();
    projector->m_link->Poll();
    return projector;
}

void PanelProjector::show()
{
    const ProjectorState& state = m_link->State();
    if (!state.reachable) {
        say(tr("Projector %1: not reachable. %2").arg(m_link->Address(), state.lastError));
        return;
    }
    QString power;
    switch (state.power) {
    case ProjectorPower::Off:
        power = tr("off");
        break;
    case ProjectorPower::On:
        power = tr("on");
        break;
    case ProjectorPower::WarmingUp:
        power = tr("warming up");
        break;
    case ProjectorPower::Cooling:
        power = tr("cooling down");
        break;
    case ProjectorPower::Unknown:
        power = tr("state unknown");
        break;
    }
    QStringList parts{power};
    int lamp = -1;
    for (const ProjectorLamp& one : state.lamps)
        lamp = std::max(lamp, one.hours);
    if (lamp >= 0)
        parts << tr("lamp %1 h").arg(lamp);
    if (const QString faults = state.Faults(); !faults.isEmpty())
        parts << faults;
    say(tr("Projector: %1").arg(parts.join(QStringLiteral(" · "))));
}

void PanelProjector::say(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    emit changed(text);
}
