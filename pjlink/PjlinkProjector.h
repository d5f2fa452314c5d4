// A projector reached over the projector protocol: a poll is one connection
// with one round of queries (class 2 ones too once it says it is class 2),
// a command one more request, joining a run under way if there is one.
#pragma once

#include "control/ProjectorLink.h"
#include "pjlink/PjlinkClient.h"

class PjlinkProjector : public ProjectorLink
{
    Q_OBJECT
public:
    PjlinkProjector(const PjlinkUrl& url, const QByteArray& password, QObject* parent = nullptr);

    QString Address() const override { return m_client.Address(); }
    const ProjectorState& State() const override { return m_state; }
    void Poll() override;
    void SetPower(bool on) override;
    void SetInput(const QString& input) override;
    void SetMute(bool video, bool audio, bool on) override;
    void SetFreeze(bool on) override;

    // A status notice from the projector ("%2POWR=1"); emits `changed`.
    void Notice(const PjlinkAnswer& notice);
    PjlinkClient& Client() { return m_client; }

private:
    void send(const PjlinkRequest& request);
    void onAnswered(const PjlinkRequest& request, const PjlinkAnswer& answer);
    void onFinished(const QString& error);
    // Takes the value of an answer or a notice into the state.
    void apply(const QByteArray& command, const QByteArray& value);
    static QString describe(const PjlinkRequest& request);

    PjlinkClient m_client;
    ProjectorState m_state;
    bool m_polling = false;
    QList<PjlinkRequest> m_commands; // sent, not answered yet
};
