// The campus service while it runs: every part of it, owned here in one
// place, made in the order below and ended in the reverse order (the web
// server and the broker before the scheduler and the idle switch-off, these
// before the history, the history before the rooms). Reload (SIGHUP) reads
// the configuration again and hands it to each part; Stop (SIGTERM) takes
// nothing new, answers what is under way (bounded) and ends the loop.
#pragma once

#include "serve/automation/Clock.h"
#include "serve/config/ServeConfig.h"

#include <QCoreApplication>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

class Campus;
class CampusServer;
class History;
class IdleWatch;
class MqttBridge;
class RefusalSummary;
class AlertMail;
class ProjectorWatch;
class Scheduler;
class ShutdownSignals;

class Service : public QObject
{
    Q_OBJECT
public:
    explicit Service(const ServeConfig& config, QObject* parent = nullptr);
    ~Service() override;

    // Starts the web server, the broker and the probes; false with the
    // reason in `error` when the web server cannot listen.
    bool Start(QString* error);
    // Reads the configuration file again; on a mistake the service keeps
    // what it serves and says so.
    void Reload();
    // Takes nothing new, answers what is under way within kStopWithinMs,
    // writes the answers within kFlushMs and ends the event loop.
    void Stop();

    // Descriptors the service may need for `config`: a line and a probe per
    // room, the web page's connections, and a margin for the rest.
    static qint64 DescriptorsNeeded(const ServeConfig& config);
    // The most descriptors the service may open once it raised its own
    // limit as far as it may (the soft limit to the hard one, no further
    // than needed) when `raise`; -1 where there is no such limit.
    static qint64 RaiseDescriptorLimit(const ServeConfig& config, bool raise);
    // The configuration's warnings, and one when the rooms need more
    // descriptors than `descriptors`.
    static QStringList Warnings(const ServeConfig& config, qint64 descriptors);

    // The web server's port (the one it got, where listen= asked for 0).
    quint16 WebPort() const;
    // The UDP port of the projectors' status notices; 0 when none are taken.
    quint16 NoticePort() const;

    static constexpr int kStopWithinMs = 10'000;
    static constexpr int kFlushMs = 2000;

private:
    void useBroker();
    void projectorAlert(const QString& room, const QString& kind, const QString& message);
    void scheduleProbes();
    void historyHealth();
    void finish();

    ServeConfig m_config;
    const Clock m_clock;
    // The parts, in the order they are made (and the reverse of their end).
    std::unique_ptr<Campus> m_campus;
    std::unique_ptr<History> m_history;
    std::unique_ptr<RefusalSummary> m_refusals; // before the history: refusals summed
    std::unique_ptr<ProjectorWatch> m_projectors;
    std::unique_ptr<AlertMail> m_mail;
    std::unique_ptr<Scheduler> m_scheduler;
    std::unique_ptr<IdleWatch> m_idle;
    std::unique_ptr<CampusServer> m_web;
    std::unique_ptr<MqttBridge> m_broker;
    QTimer m_probe;
    std::unique_ptr<ShutdownSignals> m_signals;
    bool m_finished = false;
};
