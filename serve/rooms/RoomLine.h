// One room's controller as the campus service reaches it. The line is opened
// for a command and closed again (by its owner) after kIdleMs without one, so that the
// room's own PC, a technician's laptop or `lumo send` can reach the server's
// port in between (a serial server serves one client at a time). A command
// that finds the line in use says so at once: nothing waits to go out late.
#pragma once

#include "control/CommandResult.h"
#include "serial/CMSComm.h"
#include "serve/config/ServeConfig.h"

#include <QDateTime>
#include <QObject>

struct Command;

class RoomLine : public QObject
{
    Q_OBJECT
public:
    enum class State { Unknown, Reachable, InUse, Unreachable };
    Q_ENUM(State)

    static constexpr int kIdleMs = 2000;

    // What a state is called in the JSON interface, on MQTT and on the page
    // ("in use"); every state's name in the order of the enum.
    static QString StateName(State state);
    static QStringList StateNames();
    // The state's words for a person, untranslated (context "CampusPage").
    static const char* StateText(State state);

    explicit RoomLine(RoomConfig config, QObject* parent = nullptr);
    ~RoomLine() override;

    const RoomConfig& Config() const { return m_config; }
    // From the last attempt: a command or a probe.
    State CurrentState() const { return m_state; }
    QString LastError() const { return m_lastError; }
    // The last command that was sent, and when; 0 and null before the first.
    char LastCommand() const { return m_lastCommand; }
    QDateTime LastCommandTime() const { return m_lastTime; }
    bool IsOpen() { return m_serial.GetPortOpen(); }

    // Sends the command, opening the line first where it is closed.
    CommandResult Send(const Command& command);
    // Where the line is closed: opens and closes it, sending nothing, to
    // learn whether the room can be reached.
    void Probe();
    // Closes the line now (idle, shutting down, the room taken out).
    void Close();

signals:
    void changed();

private:
    Outcome open();
    void note(const CommandResult& result);

    RoomConfig m_config;
    CMSComm m_serial;
    State m_state = State::Unknown;
    QString m_lastError;
    char m_lastCommand = 0;
    QDateTime m_lastTime;
};
