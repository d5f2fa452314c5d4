#include "pjlink/PjlinkProjector.h"

#include <QRegularExpression>

namespace
{
PjlinkRequest query(int protocolClass, const char* command)
{
    return {protocolClass, QByteArray(command), QByteArray("?")};
}

const QList<PjlinkRequest>& classOneQueries()
{
    // The class first: its answer adds the class 2 queries to the round.
    static const QList<PjlinkRequest> queries = {
        query(1, "CLSS"), query(1, "POWR"), query(1, "INPT"), query(1, "AVMT"),
        query(1, "ERST"), query(1, "LAMP"), query(1, "NAME"), query(1, "INF1"),
        query(1, "INF2"), query(1, "INFO"), query(1, "INST"),
    };
    return queries;
}

const QList<PjlinkRequest>& classTwoQueries()
{
    static const QList<PjlinkRequest> queries = {
        query(2, "SNUM"), query(2, "SVER"), query(2, "FILT"), query(2, "FREZ"),
        query(2, "RLMP"), query(2, "RFIL"), query(2, "IRES"), query(2, "RRES"),
    };
    return queries;
}

ProjectorHealth healthOf(char digit)
{
    switch (digit) {
    case '0':
        return ProjectorHealth::Ok;
    case '1':
        return ProjectorHealth::Warning;
    case '2':
        return ProjectorHealth::Error;
    default:
        return ProjectorHealth::Unknown;
    }
}

ProjectorPower powerOf(const QByteArray& value)
{
    static const QByteArray kCodes[] = {"0", "1", "2", "3"};
    static const ProjectorPower kPowers[] = {ProjectorPower::Off, ProjectorPower::On,
                                             ProjectorPower::Cooling, ProjectorPower::WarmingUp};
    for (int i = 0; i < 4; ++i)
        if (value == kCodes[i])
            return kPowers[i];
    return ProjectorPower::Unknown;
}

// "1234 1 56 0": hours and on (1) or off (0) of each lamp, at most 8.
QList<ProjectorLamp> lampsOf(const QByteArray& value)
{
    const QList<QByteArray> words = value.split(' ');
    QList<ProjectorLamp> lamps;
    for (qsizetype i = 0; i + 1 < words.size() && lamps.size() < 8; i += 2) {
        bool ok = false;
        const int hours = words[i].toInt(&ok);
        if (!ok || hours < 0 || (words[i + 1] != "0" && words[i + 1] != "1"))
            return {};
        lamps.append({hours, words[i + 1] == "1"});
    }
    return lamps;
}
} // namespace

PjlinkProjector::PjlinkProjector(const PjlinkUrl& url, const QByteArray& password, QObject* parent)
    : ProjectorLink(parent), m_client(url, password)
{
    connect(&m_client, &PjlinkClient::answered, this, &PjlinkProjector::onAnswered);
    connect(&m_client, &PjlinkClient::finished, this, &PjlinkProjector::onFinished);
}

void PjlinkProjector::Poll()
{
    if (m_polling)
        return; // one round at a time; its `polled` will come
    QList<PjlinkRequest> round = classOneQueries();
    if (!m_client.Run(round)) {
        m_state.lastError = tr("projector %1: too many requests waiting").arg(Address());
        emit polled(m_state);
        return;
    }
    m_polling = true;
}

void PjlinkProjector::send(const PjlinkRequest& request)
{
    if (!m_client.Run({request})) {
        emit done(describe(request), tr("projector %1: too many requests waiting").arg(Address()));
        return;
    }
    m_commands.append(request);
}

void PjlinkProjector::SetPower(bool on)
{
    send({1, "POWR", on ? "1" : "0"});
}

void PjlinkProjector::SetInput(const QString& input)
{
    // Class 1 has kinds 1-5 and numbers 1-9; class 2 more of each.
    static const QRegularExpression shape(QStringLiteral("^[1-6][1-9A-Z]$"));
    static const QRegularExpression classOneShape(QStringLiteral("^[1-5][1-9]$"));
    const bool classOne = classOneShape.match(input).hasMatch();
    if (!shape.match(input).hasMatch()) {
        emit done(tr("input %1").arg(input.left(8)),
                  tr("projector %1: \"%2\" is no input").arg(Address(), input.left(8)));
        return;
    }
    send({classOne ? 1 : 2, "INPT", input.toLatin1()});
}

void PjlinkProjector::SetMute(bool video, bool audio, bool on)
{
    const char kind = video && audio ? '3' : (audio ? '2' : '1');
    send({1, "AVMT", QByteArray(1, kind) + (on ? '1' : '0')});
}

void PjlinkProjector::SetFreeze(bool on)
{
    send({2, "FREZ", on ? "1" : "0"});
}

QString PjlinkProjector::describe(const PjlinkRequest& request)
{
    return PjlinkMessage::Meaning(request.command) + u' ' + QString::fromLatin1(request.parameter);
}

void PjlinkProjector::onAnswered(const PjlinkRequest& request, const PjlinkAnswer& answer)
{
    m_state.lastAnswer = QDateTime::currentDateTimeUtc();
    m_state.reachable = true;
    if (!request.IsQuery()) {
        m_commands.removeOne(request);
        const QString error = answer.kind == PjlinkAnswer::Ok
                                  ? QString()
                                  : tr("projector %1: %2")
                                        .arg(Address(), answer.kind == PjlinkAnswer::Value
                                                            ? tr("unexpected answer \"%1\"")
                                                                  .arg(QString::fromLatin1(answer.value))
                                                            : PjlinkMessage::OutcomeText(answer.kind));
        emit done(describe(request), error);
        return;
    }
    if (answer.kind == PjlinkAnswer::Value) {
        apply(request.command, answer.value);
    } else if (request.command == "LAMP" && answer.kind == PjlinkAnswer::Undefined) {
        m_state.lamps.clear(); // no lamp (a laser or LED light source)
    } else if (request.command == "INPT") {
        m_state.input.clear(); // none while in standby
        m_state.inputName.clear();
    } else if (request.command == "IRES") {
        m_state.inputResolution.clear(); // no signal
    }
    // Class 2 queries join the round: after the class, and the current
    // input's name after the input.
    if (request.command == "CLSS" && m_state.protocolClass >= 2)
        m_client.Run(classTwoQueries());
    if (request.command == "INPT" && m_state.protocolClass >= 2 && !m_state.input.isEmpty())
        m_client.Run({{2, "INNM", '?' + m_state.input.toLatin1()}});
}

void PjlinkProjector::onFinished(const QString& error)
{
    m_state.lastError = error;
    if (!error.isEmpty())
        m_state.reachable = false;
    const QList<PjlinkRequest> unanswered = std::exchange(m_commands, {});
    for (const PjlinkRequest& request : unanswered)
        emit done(describe(request), error);
    if (std::exchange(m_polling, false))
        emit polled(m_state);
}

void PjlinkProjector::Notice(const PjlinkAnswer& notice)
{
    m_state.lastAnswer = QDateTime::currentDateTimeUtc();
    if (notice.command == "LKUP") {
        m_state.reachable = true; // it has just started up on the network
    } else {
        apply(notice.command, notice.value);
    }
    emit changed(m_state);
}

void PjlinkProjector::apply(const QByteArray& command, const QByteArray& value)
{
    const QString text = QString::fromUtf8(value);
    if (command == "POWR") {
        m_state.power = powerOf(value);
    } else if (command == "INPT") {
        m_state.input = text;
    } else if (command == "AVMT") {
        // "11" video, "21" audio, "31" both muted; "10", "20", "30" not.
        if (value.size() == 2 && value[1] >= '0' && value[1] <= '1') {
            const bool on = value[1] == '1';
            if (value[0] == '1' || value[0] == '3')
                m_state.videoMuted = on;
            if (value[0] == '2' || value[0] == '3')
                m_state.audioMuted = on;
        }
    } else if (command == "ERST") {
        for (int part = 0; part < ProjectorState::PartCount; ++part)
            m_state.health[part] = value.size() == 6 ? healthOf(value[part]) : ProjectorHealth::Unknown;
    } else if (command == "LAMP") {
        m_state.lamps = lampsOf(value);
    } else if (command == "NAME") {
        m_state.name = text;
    } else if (command == "INF1") {
        m_state.maker = text;
    } else if (command == "INF2") {
        m_state.model = text;
    } else if (command == "INFO") {
        m_state.other = text;
    } else if (command == "CLSS") {
        m_state.protocolClass = value == "2" ? 2 : (value == "1" ? 1 : 0);
    } else if (command == "SNUM") {
        m_state.serial = text;
    } else if (command == "SVER") {
        m_state.software = text;
    } else if (command == "FILT") {
        bool ok = false;
        const int hours = value.toInt(&ok);
        m_state.filterHours = ok && hours >= 0 ? hours : -1;
    } else if (command == "FREZ") {
        m_state.frozen = value == "1";
    } else if (command == "INST") {
        m_state.inputs = text.split(u' ', Qt::SkipEmptyParts);
    } else if (command == "INNM") {
        m_state.inputName = text;
    } else if (command == "IRES") {
        m_state.inputResolution = text;
    } else if (command == "RRES") {
        m_state.recommendedResolution = text;
    } else if (command == "RLMP") {
        m_state.lampModel = text;
    } else if (command == "RFIL") {
        m_state.filterModel = text;
    }
}
