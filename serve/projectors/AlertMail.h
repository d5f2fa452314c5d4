// Alerts by mail, through the machine's own sendmail ([alerts] mail_to=,
// sendmail=): one message per alert, the program run without a shell and
// without waiting for it. Bounded: at most kRunning at once, kQueued
// waiting (the oldest dropped with a word in the log), each ended after
// kWithinMs.
#pragma once

#include "serve/config/ProjectorConfig.h"

#include <QList>
#include <QObject>

class QProcess;

class AlertMail : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRunning = 2;
    static constexpr int kQueued = 100;
    static constexpr int kWithinMs = 30'000;

    using QObject::QObject;
    ~AlertMail() override;

    void Configure(const ProjectorConfig& config);
    // Mails the alert to mail_to= (nothing when none is given).
    void Send(const QString& room, const QString& kind, const QString& message);

signals:
    // sendmail ended (`error` empty: it took the message).
    void sent(const QString& error);

private:
    void next();

    QStringList m_to;
    QString m_sendmail;
    QList<QByteArray> m_queue;
    QList<QProcess*> m_running;
};
