#include "serve/projectors/AlertMail.h"

#include "control/Logging.h"

#include <QDateTime>
#include <QHostInfo>
#include <QLocale>
#include <QProcess>
#include <QTimer>

AlertMail::~AlertMail()
{
    for (QProcess* process : std::as_const(m_running)) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
    }
}

void AlertMail::Configure(const ProjectorConfig& config)
{
    m_to = config.mailTo;
    m_sendmail = config.sendmail;
}

void AlertMail::Send(const QString& room, const QString& kind, const QString& message)
{
    if (m_to.isEmpty())
        return;
    // Header values hold no line breaks: the room is an ID, the kind a word.
    const QString subject = QStringLiteral("[lumo] %1: projector %2").arg(room, kind);
    QByteArray mail;
    mail += "To: " + m_to.join(QStringLiteral(", ")).toUtf8() + "\n";
    mail += "Subject: =?UTF-8?B?" + subject.toUtf8().toBase64() + "?=\n";
    mail += "Date: " + QLocale::c().toString(QDateTime::currentDateTime(),
                                             QStringLiteral("ddd, dd MMM yyyy HH:mm:ss t")).toUtf8() + "\n";
    mail += "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n"
            "Content-Transfer-Encoding: 8bit\n\n";
    mail += QString(message).replace(QLatin1Char('\r'), QLatin1Char(' ')).toUtf8() + "\n\n-- \nlumo serve on " +
            QHostInfo::localHostName().toUtf8() + "\n";
    if (m_queue.size() >= kQueued) {
        m_queue.removeFirst();
        qCWarning(lcServe).noquote() << "alert mail: too many waiting, the oldest is dropped";
    }
    m_queue.append(mail);
    next();
}

void AlertMail::next()
{
    while (m_running.size() < kRunning && !m_queue.isEmpty()) {
        auto* process = new QProcess(this);
        m_running.append(process);
        const QByteArray mail = m_queue.takeFirst();
        QTimer::singleShot(kWithinMs, process, [process] { process->kill(); });
        const auto end = [this, process](const QString& error) {
            if (!m_running.removeOne(process))
                return;
            if (!error.isEmpty())
                qCWarning(lcServe).noquote() << "alert mail:" << error;
            emit sent(error);
            process->deleteLater();
            next();
        };
        connect(process, &QProcess::errorOccurred, this, [process, end, this] {
            if (process->error() == QProcess::FailedToStart)
                end(tr("%1 cannot be started: %2").arg(m_sendmail, process->errorString()));
        });
        connect(process, &QProcess::finished, this, [process, end, this](int code, QProcess::ExitStatus status) {
            const QString error =
                status != QProcess::NormalExit
                    ? tr("%1 did not end within %2 s, or crashed").arg(m_sendmail).arg(kWithinMs / 1000)
                : code != 0 ? tr("%1 ended with %2: %3")
                                  .arg(m_sendmail)
                                  .arg(code)
                                  .arg(QString::fromLocal8Bit(process->readAllStandardError().left(300)).trimmed())
                            : QString();
            end(error);
        });
        process->setProcessChannelMode(QProcess::SeparateChannels);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->start(m_sendmail, QStringList{QStringLiteral("-oi"), QStringLiteral("--")} + m_to);
        process->write(mail);
        process->closeWriteChannel();
    }
}
