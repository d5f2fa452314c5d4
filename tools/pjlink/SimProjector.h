// The simulated projector's state and its answers to the protocol's lines:
// power with warm-up and cool-down times, inputs, mute, freeze, the health
// of its parts, lamp and filter hours that count while it is lit.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class SimProjector : public QObject
{
    Q_OBJECT
public:
    enum Power { Off = 0, On = 1, Cooling = 2, WarmingUp = 3 };

    struct Settings {
        int protocolClass = 2;
        int warmUpMs = 30000;
        int coolDownMs = 60000;
        double speed = 1;       // lamp and filter hours go this many times faster
        double lampHours = 1000; // at the start
        QByteArray errors = "000000";
        QByteArray name = "Projector";
    };

    explicit SimProjector(const Settings& settings, QObject* parent = nullptr);

    // The answer to one line ("%1POWR ?" → "%1POWR=1"), without the carriage
    // return; empty when the line is no command at all.
    QByteArray Answer(const QByteArray& line);
    // Switches as a command would ("OK", "ERR3" while warming up or cooling).
    QByteArray SetPower(bool on);
    // Six digits, fan lamp temperature cover filter other, each 0 (ok),
    // 1 (warning) or 2 (error); false when `digits` is not that.
    bool SetErrors(const QByteArray& digits);
    Power PowerState() const { return m_power; }

signals:
    // A class 2 status notice to send ("%2POWR=3").
    void notice(const QByteArray& line);

private:
    QByteArray answer(char protocolClass, const QByteArray& command, const QByteArray& parameter);
    void setPower(Power power);
    bool lit() const { return m_power == On || m_power == WarmingUp; }
    int hours(double start) const;
    void notify(const QByteArray& command, const QByteArray& value);

    Settings m_settings;
    Power m_power = Off;
    QByteArray m_input = "31";
    QByteArray m_mute = "30";
    bool m_frozen = false;
    QTimer m_transition;
    // Lit time before the current stretch, and the current stretch.
    qint64 m_litMs = 0;
    QElapsedTimer m_litSince;
};
