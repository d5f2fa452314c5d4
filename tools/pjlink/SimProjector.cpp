#include "SimProjector.h"

#include <QList>

namespace
{
// The inputs it has: kind (1 RGB, 2 video, 3 digital, 4 storage, 5 network)
// then number, with the names class 2 reports.
struct Input {
    const char* code;
    const char* name;
};
constexpr Input kInputs[] = {
    {"11", "VGA"}, {"21", "Video"}, {"31", "HDMI 1"}, {"32", "HDMI 2"}, {"51", "LAN"},
};

const Input* inputOf(const QByteArray& code)
{
    for (const Input& input : kInputs)
        if (code == input.code)
            return &input;
    return nullptr;
}

bool isErrorDigits(const QByteArray& digits)
{
    if (digits.size() != 6)
        return false;
    for (char c : digits)
        if (c < '0' || c > '2')
            return false;
    return true;
}
} // namespace

SimProjector::SimProjector(const Settings& settings, QObject* parent)
    : QObject(parent), m_settings(settings)
{
    m_transition.setSingleShot(true);
    connect(&m_transition, &QTimer::timeout, this,
            [this] { setPower(m_power == WarmingUp ? On : Off); });
}

bool SimProjector::SetErrors(const QByteArray& digits)
{
    if (!isErrorDigits(digits))
        return false;
    if (digits != m_settings.errors) {
        m_settings.errors = digits;
        notify("ERST", digits);
    }
    return true;
}

QByteArray SimProjector::SetPower(bool on)
{
    if (m_power == WarmingUp || m_power == Cooling)
        return "ERR3"; // it cannot switch in the middle of switching
    if (on && m_power == Off) {
        setPower(WarmingUp);
        m_transition.start(m_settings.warmUpMs);
    } else if (!on && m_power == On) {
        setPower(Cooling);
        m_transition.start(m_settings.coolDownMs);
    }
    return "OK";
}

void SimProjector::setPower(Power power)
{
    const bool wasLit = lit();
    m_power = power;
    if (wasLit && !lit())
        m_litMs += m_litSince.elapsed();
    else if (!wasLit && lit())
        m_litSince.start();
    if (power != On)
        m_frozen = false;
    notify("POWR", QByteArray::number(int(power)));
}

int SimProjector::hours(double start) const
{
    const qint64 litMs = m_litMs + (lit() ? m_litSince.elapsed() : 0);
    return int(start + double(litMs) * m_settings.speed / 3600000.0);
}

void SimProjector::notify(const QByteArray& command, const QByteArray& value)
{
    if (m_settings.protocolClass >= 2)
        emit notice("%2" + command + '=' + value);
}

QByteArray SimProjector::Answer(const QByteArray& line)
{
    // "%" class command " " parameter
    if (line.size() < 8 || line[0] != '%' || line[6] != ' ')
        return {};
    const char protocolClass = line[1];
    const QByteArray command = line.mid(2, 4).toUpper();
    const QByteArray value = answer(protocolClass, command, line.mid(7));
    return '%' + QByteArray(1, protocolClass) + command + '=' + value;
}

QByteArray SimProjector::answer(char protocolClass, const QByteArray& command,
                                const QByteArray& parameter)
{
    if (protocolClass != '1' && protocolClass != '2')
        return "ERR1";
    if (protocolClass == '2' && m_settings.protocolClass < 2)
        return "ERR1";
    const bool query = parameter.startsWith('?');
    const bool on = m_power == On;
    if (command == "POWR") {
        if (query)
            return QByteArray::number(int(m_power));
        if (parameter != "0" && parameter != "1")
            return "ERR2";
        return SetPower(parameter == "1");
    }
    if (command == "INPT") {
        if (!on)
            return "ERR3";
        if (query)
            return m_input;
        if (!inputOf(parameter))
            return "ERR2";
        if (parameter != m_input) {
            m_input = parameter;
            notify("INPT", m_input);
        }
        return "OK";
    }
    if (command == "AVMT") {
        if (query)
            return m_mute;
        static const QList<QByteArray> kMutes = {"10", "11", "20", "21", "30", "31"};
        if (!kMutes.contains(parameter))
            return "ERR2";
        if (!on)
            return "ERR3";
        if (parameter != m_mute) {
            m_mute = parameter;
            notify("AVMT", m_mute);
        }
        return "OK";
    }
    static const QList<QByteArray> kQueriesOnly = {"ERST", "LAMP", "INST", "NAME", "INF1",
                                                   "INF2", "INFO", "CLSS", "SNUM", "SVER",
                                                   "FILT", "RLMP", "RFIL", "INNM", "IRES", "RRES"};
    if (!query && command != "FREZ")
        return kQueriesOnly.contains(command) ? "ERR2" : "ERR1";
    if (command == "ERST")
        return m_settings.errors;
    if (command == "LAMP")
        return QByteArray::number(hours(m_settings.lampHours)) + (lit() ? " 1" : " 0");
    if (command == "INST") {
        QList<QByteArray> codes;
        for (const Input& input : kInputs)
            codes << input.code;
        return codes.join(' ');
    }
    if (command == "NAME")
        return m_settings.name;
    if (command == "INF1")
        return "Lumo";
    if (command == "INF2")
        return "Simulated Projector";
    if (command == "INFO")
        return "lumo-projector";
    if (command == "CLSS")
        return QByteArray::number(m_settings.protocolClass);
    if (protocolClass != '2')
        return "ERR1";
    if (command == "SNUM")
        return "SIM0001";
    if (command == "SVER")
        return "1.0";
    if (command == "FILT")
        return QByteArray::number(hours(0));
    if (command == "RLMP")
        return "LMP-100";
    if (command == "RFIL")
        return "FLT-100";
    if (command == "INNM") {
        const Input* input = inputOf(parameter.mid(1));
        return input ? QByteArray(input->name) : QByteArray("ERR2");
    }
    if (command == "IRES" || command == "RRES")
        return on || command == "RRES" ? QByteArray("1920x1080") : QByteArray("ERR3");
    if (command == "FREZ") {
        if (query)
            return m_frozen ? "1" : "0";
        if (parameter != "0" && parameter != "1")
            return "ERR2";
        if (!on)
            return "ERR3";
        m_frozen = parameter == "1";
        return "OK";
    }
    return "ERR1";
}
