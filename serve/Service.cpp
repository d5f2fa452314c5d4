#include "serve/Service.h"

#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "control/Logging.h"
#include "control/ShutdownSignals.h"
#include "serve/ServiceNotify.h"
#include "serve/automation/IdleWatch.h"
#include "serve/automation/Scheduler.h"
#include "serve/history/History.h"
#include "serve/history/RefusalSummary.h"
#include "serve/mqtt/MqttBridge.h"
#include "serve/projectors/AlertMail.h"
#include "serve/projectors/ProjectorWatch.h"
#include "serve/rooms/Campus.h"
#include "serve/web/CampusServer.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include <csignal>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace
{
// The history the configuration asks for, or none.
std::unique_ptr<History> openHistory(const ServeConfig& config)
{
    if (config.historyDatabase == QLatin1String("off"))
        return nullptr;
    const bool district = History::IsPostgres(config.historyDatabase);
    const QString journal = !config.historyJournal.isEmpty() ? config.historyJournal
                            : district || config.historyDatabase.isEmpty()
                                ? History::DefaultPath()
                                : config.historyDatabase;
    auto history = std::make_unique<History>(journal, district ? config.historyDatabase : QString(),
                                             config.HistoryName(), config.historyKeepDays);
    if (!history->Error().isEmpty()) {
        qCWarning(lcServe).noquote() << history->Error() << "- commands are not recorded";
        return nullptr;
    }
    return history;
}
} // namespace

Service::Service(const ServeConfig& config, QObject* parent)
    : QObject(parent), m_config(config), m_campus(std::make_unique<Campus>(config.rooms)),
      m_history(openHistory(config))
{
    if (History* history = m_history.get()) {
        m_refusals = std::make_unique<RefusalSummary>(
            [history](const History::Entry& entry) { history->Add(entry); });
        m_campus->SetRecorder([this, history](const CommandEntry::Request& request,
                                              const CommandResult& result,
                                              std::function<void(bool)> noted) {
            const History::Entry entry = History::Of(request, result, QDateTime::currentDateTimeUtc());
            if (m_refusals->Take(entry)) // one row per source and minute
                return noted(true);
            history->Add(entry, std::move(noted));
        });
    }
    m_projectors = std::make_unique<ProjectorWatch>(*m_campus);
    m_projectors->Configure(m_config);
    m_mail = std::make_unique<AlertMail>();
    m_mail->Configure(m_config.projectors);
    connect(m_projectors.get(), &ProjectorWatch::alert, this, &Service::projectorAlert);
    if (History* history = m_history.get())
        connect(m_projectors.get(), &ProjectorWatch::notFollowed, history,
                [history](const CommandEntry::Request& request, const CommandResult& result) {
                    history->Add(History::Of(request, result, QDateTime::currentDateTimeUtc()));
                });
    // What the projector itself reported, for its measured hours (HistorySummary).
    if (History* history = m_history.get())
        connect(m_projectors.get(), &ProjectorWatch::powered, history, [history](const QString& room, bool on) {
            history->Add({0, QDateTime::currentDateTimeUtc(), room,
                          on ? QStringLiteral("power-on") : QStringLiteral("power-off"),
                          QStringLiteral("projector"), CommandResult::FaceName(Face::Projector),
                          QStringLiteral("observed"),
                          on ? QStringLiteral("The projector reports it is on.")
                             : QStringLiteral("The projector reports it is off."),
                          {}});
        });
    const QString state = QFileInfo(History::DefaultPath()).absolutePath();
    QDir().mkpath(state);
    m_scheduler = std::make_unique<Scheduler>(*m_campus, m_clock, m_history.get(),
                                              QDir(state).filePath(QStringLiteral("schedules.json")));
    m_scheduler->SetSchedules(m_config.schedules, m_config.Groups());
    m_idle = std::make_unique<IdleWatch>(*m_campus, m_clock);
    m_idle->Configure(m_config.idleOffSeconds, m_config.idleCommands);
    if (History* history = m_history.get()) {
        // What the service knew before it started: the rooms in use, and
        // each room's last command.
        m_idle->Restore(*history);
        HistoryFilter sent;
        sent.codes = {CommandResult::CodeName(CommandResult::Code::Sent)};
        for (const HistoryRecord& last : history->LastPerRoom(sent))
            if (const Command* command = CommandResolver::Resolve(last.command))
                m_campus->RestoreLast(last.room, command->letter, last.at);
        connect(history, &History::statusChanged, this, &Service::historyHealth);
    }
    m_web = std::make_unique<CampusServer>(*m_campus, m_config);
    m_web->UseCare(m_history.get(), m_scheduler.get());
    m_web->UseProjectors(m_projectors.get());
    connect(&m_probe, &QTimer::timeout, m_campus.get(), &Campus::ProbeAll);
    // A projector that is lit counts as the room's use, one that is off as none.
    connect(m_projectors.get(), &ProjectorWatch::changed, m_idle.get(), [this](const QString& room) {
        if (const ProjectorState* state = m_projectors->StateOf(room); state && state->reachable)
            if (state->power == ProjectorPower::On || state->power == ProjectorPower::Off)
                m_idle->PowerSeen(room, state->power == ProjectorPower::On);
    });
}

Service::~Service()
{
    // The parts that take commands go first, then those that make them,
    // then the history (what was added is written first), the rooms last.
    m_signals.reset();
    m_broker.reset();
    m_web.reset();
    m_idle.reset();
    m_scheduler.reset();
    m_projectors.reset();
    m_mail.reset();
    m_campus->SetRecorder({});
    m_refusals.reset(); // what it counted goes to the history first
    m_history.reset();
    m_campus.reset();
}

bool Service::Start(QString* error)
{
    if (!m_web->Start(m_config)) {
        *error = m_web->ErrorString();
        return false;
    }
    qCInfo(lcServe).noquote() << "the campus page on" << m_config.listenAddress.toString()
                              << "port" << m_web->Port() << (m_web->Secure() ? "(HTTPS)" : "(HTTP)");
    qCInfo(lcServe).noquote() << "serving" << m_config.rooms.size() << "rooms from"
                              << m_config.file;
    useBroker();
    scheduleProbes();
    if (m_config.probeSeconds > 0) // probe=0: no probes at all, none at the start either
        m_campus->ProbeAll();
    m_signals = std::make_unique<ShutdownSignals>();
    connect(m_signals.get(), &ShutdownSignals::received, this, [this](int signalNumber) {
#ifdef SIGHUP
        if (signalNumber == SIGHUP)
            return Reload();
#endif
        Q_UNUSED(signalNumber);
        Stop();
    });
    return true;
}

void Service::Reload()
{
    ServiceNotify::Reloading();
    const auto done = qScopeGuard([] { ServiceNotify::Ready(); });
    try {
        const ServeConfig before = m_config;
        m_config = ServeConfig::Load(m_config.file);
        for (const QString& warning : Warnings(m_config, RaiseDescriptorLimit(m_config, true)))
            qCWarning(lcServe).noquote() << warning;
        m_campus->Reload(m_config.rooms);
        m_projectors->Configure(m_config);
        m_mail->Configure(m_config.projectors);
        m_scheduler->SetSchedules(m_config.schedules, m_config.Groups());
        m_idle->Configure(m_config.idleOffSeconds, m_config.idleCommands);
        if (m_history)
            m_history->SetKeepDays(m_config.historyKeepDays);
        m_web->Reload(m_config);
        if (m_config.listenAddress != before.listenAddress ||
            m_config.listenPort != before.listenPort ||
            m_config.certificate != before.certificate || m_config.key != before.key)
            qCWarning(lcServe).noquote()
                << "listen=, certificate= and key= take effect when the service starts again";
        useBroker();
        scheduleProbes();
        qCInfo(lcServe).noquote() << "read" << m_config.file << "again:" << m_config.rooms.size()
                                  << "rooms";
    } catch (const ServeConfig::Error& e) {
        // The rooms served so far stay as they are.
        qCWarning(lcServe).noquote() << e.message << "- the configuration is unchanged";
    }
}

void Service::Stop()
{
    // Nothing new is taken; what is going out is finished and answered
    // (bounded), then the service ends.
    m_web->StopTaking();
    if (m_broker)
        m_broker->StopTaking();
    if (m_campus->Unanswered() == 0)
        return finish();
    qCInfo(lcServe).noquote() << "stopping: answering" << m_campus->Unanswered()
                              << "commands under way first";
    connect(m_campus.get(), &Campus::allAnswered, this, &Service::finish);
    QTimer::singleShot(kStopWithinMs, this, &Service::finish);
}

void Service::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_web->FlushAnswers(kFlushMs);
    QCoreApplication::quit();
}

// The broker of the configuration, or none; a new broker section starts anew.
void Service::useBroker()
{
    const MqttConfig& mqtt = m_config.mqtt;
    if (m_broker && mqtt.enabled && m_broker->Serves(mqtt)) {
        m_broker->RoomsChanged();
        return;
    }
    if (m_broker)
        m_broker->Withdraw(); // what it announced would be left behind for good
    m_broker.reset();
    if (mqtt.enabled) {
        m_broker = std::make_unique<MqttBridge>(*m_campus, mqtt);
        m_broker->UseProjectors(m_projectors.get());
    }
    historyHealth();
}

// The history's state, on MQTT: "ok", "failing: …" (commands are not
// recorded) or "behind N: …" (the district's copy).
void Service::historyHealth()
{
    if (!m_history || !m_broker)
        return;
    const HistoryStatus status = m_history->Status();
    QString health = QStringLiteral("ok");
    if (!status.journalOk)
        health = QStringLiteral("failing: ") + status.journalError;
    else if (status.district && !status.districtUp)
        health = QStringLiteral("behind %1: %2").arg(status.behind).arg(status.districtError);
    m_broker->SetHealth(health.left(512).toUtf8());
}

// A projector's alert on every face: MQTT, the history (a projector that did
// not follow is recorded as its command already), mail.
void Service::projectorAlert(const QString& room, const QString& kind, const QString& message)
{
    qCWarning(lcServe).noquote() << "alert:" << message;
    if (m_broker)
        m_broker->PublishAlert(room, {{QStringLiteral("event_type"), kind},
                                      {QStringLiteral("message"), message}});
    if (m_history && kind != QLatin1String("not-followed"))
        m_history->Add({0, QDateTime::currentDateTimeUtc(), room, QStringLiteral("alert"),
                        QStringLiteral("projector check"), CommandResult::FaceName(Face::Projector),
                        kind, message, {}});
    m_mail->Send(room, kind, message);
}

void Service::scheduleProbes()
{
    m_probe.stop();
    if (m_config.probeSeconds > 0)
        m_probe.start(m_config.probeSeconds * 1000);
}

quint16 Service::WebPort() const
{
    return m_web->Port();
}

quint16 Service::NoticePort() const
{
    return m_projectors->NoticePort();
}

qint64 Service::DescriptorsNeeded(const ServeConfig& config)
{
    return 2 * qint64(config.rooms.size()) + 512;
}

qint64 Service::RaiseDescriptorLimit(const ServeConfig& config, bool raise)
{
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, rlim_t(DescriptorsNeeded(config)));
    if (!raise)
        return qint64(std::max(limit.rlim_cur, wanted));
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = wanted;
        ::setrlimit(RLIMIT_NOFILE, &limit); // refused under a filter that denies it
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return qint64(limit.rlim_cur);
#else
    Q_UNUSED(config);
    Q_UNUSED(raise);
    return -1;
#endif
}

QStringList Service::Warnings(const ServeConfig& config, qint64 descriptors)
{
    QStringList all = config.warnings;
    if (descriptors >= 0 && descriptors < DescriptorsNeeded(config))
        all.append(QCoreApplication::translate("ServeCommand", "%1: %2 rooms need about %3 file descriptors, but the service may open only "
                      "%4: raise LimitNOFILE= of its unit (or ulimit -n)")
                       .arg(config.file)
                       .arg(config.rooms.size())
                       .arg(DescriptorsNeeded(config))
                       .arg(descriptors));
    return all;
}
