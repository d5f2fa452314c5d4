// Splits a Telnet byte stream into data and commands, and builds the bytes
// that go the other way. Plain and stateful: feed it what the socket gives,
// in any pieces. Hostile input costs bounded memory: a subnegotiation longer
// than kMaxSubnegotiation is dropped whole.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

class TelnetParser
{
public:
    enum Byte : unsigned char {
        SE = 240,
        SB = 250,
        WILL = 251,
        WONT = 252,
        DO = 253,
        DONT = 254,
        IAC = 255,
    };
    static constexpr qsizetype kMaxSubnegotiation = 64;

    struct Command {
        unsigned char verb = 0;   // WILL, WONT, DO, DONT or SB
        unsigned char option = 0; // the option it is about
        QByteArray payload;       // SB only: the bytes after the option, unescaped
        friend bool operator==(const Command&, const Command&) = default;
    };

    // Appends the data bytes of `input` to `data` and the complete commands
    // to `commands`; a command split across pieces completes in a later call.
    void Feed(QByteArrayView input, QByteArray& data, std::vector<Command>& commands);

    // `data` with every IAC doubled, as data must travel.
    static QByteArray Escape(QByteArrayView data);
    // IAC verb option.
    static QByteArray Negotiation(unsigned char verb, unsigned char option);
    // IAC SB option payload IAC SE, the payload escaped.
    static QByteArray Subnegotiation(unsigned char option, QByteArrayView payload);

private:
    enum class State { Data, Iac, Option, SubOption, SubData, SubIac };
    State m_state = State::Data;
    Command m_pending;
    bool m_overlong = false;
};
