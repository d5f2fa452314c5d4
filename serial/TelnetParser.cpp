#include "serial/TelnetParser.h"

void TelnetParser::Feed(QByteArrayView input, QByteArray& data, std::vector<Command>& commands)
{
    for (const char ch : input) {
        const auto c = static_cast<unsigned char>(ch);
        switch (m_state) {
        case State::Data:
            if (c == IAC)
                m_state = State::Iac;
            else
                data.append(ch);
            break;
        case State::Iac:
            if (c == IAC) { // an escaped 0xFF
                data.append(ch);
                m_state = State::Data;
            } else if (c == SB) {
                m_state = State::SubOption;
            } else if (c >= WILL) {
                m_pending = {c, 0, {}};
                m_state = State::Option;
            } else { // NOP, GA, AYT and the like: nothing for a serial line
                m_state = State::Data;
            }
            break;
        case State::Option:
            m_pending.option = c;
            commands.push_back(m_pending);
            m_state = State::Data;
            break;
        case State::SubOption:
            m_pending = {SB, c, {}};
            m_overlong = false;
            m_state = State::SubData;
            break;
        case State::SubData:
            if (c == IAC)
                m_state = State::SubIac;
            else if (m_pending.payload.size() < kMaxSubnegotiation)
                m_pending.payload.append(ch);
            else
                m_overlong = true;
            break;
        case State::SubIac:
            if (c == IAC) {
                if (m_pending.payload.size() < kMaxSubnegotiation)
                    m_pending.payload.append(ch);
                else
                    m_overlong = true;
                m_state = State::SubData;
            } else if (c == SE) {
                if (!m_overlong)
                    commands.push_back(m_pending);
                m_pending = {};
                m_state = State::Data;
            } else {
                // A command inside a subnegotiation: the sender broke it off.
                // Drop it and read this byte as a command of its own.
                m_pending = {};
                m_state = State::Iac;
                Feed(QByteArrayView(&ch, 1), data, commands);
            }
            break;
        }
    }
}

QByteArray TelnetParser::Escape(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size() + data.count(char(IAC)));
    for (const char ch : data) {
        out.append(ch);
        if (static_cast<unsigned char>(ch) == IAC)
            out.append(ch);
    }
    return out;
}

QByteArray TelnetParser::Negotiation(unsigned char verb, unsigned char option)
{
    const char bytes[] = {char(IAC), char(verb), char(option)};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray TelnetParser::Subnegotiation(unsigned char option, QByteArrayView payload)
{
    const char head[] = {char(IAC), char(SB), char(option)};
    const char tail[] = {char(IAC), char(SE)};
    return QByteArray(head, sizeof head) + Escape(payload) + QByteArray(tail, sizeof tail);
}
