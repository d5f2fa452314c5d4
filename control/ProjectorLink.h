// One room's projector as the control layer sees it, whatever protocol the
// part that made it speaks: asked for its state, told to switch. Every call
// returns at once; the answers come as signals. Made by the projector part
// (see control/ProjectorInterface.h), so that this header needs no Qt Network.
#pragma once

#include "control/ProjectorState.h"

#include <QObject>
#include <QString>

class ProjectorLink : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // "192.0.2.7:4352": the projector's address, for messages.
    virtual QString Address() const = 0;
    virtual const ProjectorState& State() const = 0;

    // One round of queries; `polled` follows, also when it fails.
    virtual void Poll() = 0;
    // Commands; `done` follows with their outcome.
    virtual void SetPower(bool on) = 0;
    virtual void SetInput(const QString& input) = 0; // "31"
    virtual void SetMute(bool video, bool audio, bool on) = 0;
    virtual void SetFreeze(bool on) = 0; // class 2 projectors only

signals:
    void polled(const ProjectorState& state);
    // A notice from the projector changed the state.
    void changed(const ProjectorState& state);
    // `command` ("power on") is done; `error` is empty, or why it was not.
    void done(const QString& command, const QString& error);
};
