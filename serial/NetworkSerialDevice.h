// A serial line behind a network serial server: RFC 2217 (Telnet with
// COM-PORT-OPTION, line settings applied on the server's port) or raw TCP
// (bytes only). Driven with QTcpSocket; every wait is bounded.
//
// A server may drop what it has not yet passed on to its line when the
// client hangs up (ser2net does), so the line is let go only once the
// server has passed on what was written: Drain() asks it, and Close() does
// the same where something is unconfirmed, without being able to say when
// that failed.
#pragma once

#include "serial/CommError.h"
#include "serial/DeviceUrl.h"
#include "serial/InputBuffer.h"
#include "serial/SerialDevice.h"
#include "serial/TelnetParser.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QTcpSocket>

#include <bitset>
#include <functional>
#include <map>
#include <utility>

class NetworkSerialDevice final : public SerialDevice
{
    Q_DECLARE_TR_FUNCTIONS(NetworkSerialDevice)

public:
    // Connecting and setting the line up together take at most this long.
    static constexpr int kOpenMs = 3000;
    // The server confirms what was written within this long, or Drain() says so.
    static constexpr int kConfirmMs = 2000;
    // After the last confirmation, the connection stays this long before it
    // is let go (Close() waits what is left of it): a
    // server drains its device before it flushes it and lets go of it, but
    // a pseudo-terminal reports itself empty while the last byte is still
    // on its way to the other side. Raw TCP cannot confirm delivery at all:
    // the server's system acknowledging the bytes and this wait stand in.
    static constexpr int kLingerMs = 20;

    // portLabel names the port in messages ("COM2"); name is the URL as the
    // user wrote it, url its parsed form.
    NetworkSerialDevice(const QString& portLabel, const QString& name, DeviceUrl url);
    ~NetworkSerialDevice() override;

    void Open(const SerialSettings& settings) override;
    void Close() noexcept override;
    void Drain() override;
    bool IsOpen() const override { return m_open; }
    void ApplySettings(const SerialSettings& settings) override;
    void Write(QByteArrayView data) override;
    QByteArray Read(qint64 maxSize) override;
    qint64 BytesAvailable() override;
    void ClearInput() override;
    void SetInputLimit(qint64 bytes) override { m_input.SetLimit(bytes); }
    bool TakeOverrun() override { return m_input.TakeOverrun(); }
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    void SetBreak(bool on) override;
    void SetFlowControl(FlowControl flow) override;
    ModemLines ReadModemLines() override;
    qintptr Handle() const override;

private:
    enum class Offer { Unknown, Accepted, Refused };

    // An empty reason: the catalogue's words for the code.
    [[noreturn]] void fail(CommErrorCode code, const QString& reason = {}) const;
    [[noreturn]] void failDisconnected();
    [[noreturn]] void failConnect();
    [[noreturn]] void failNoAnswer(const QString& awaited);
    [[noreturn]] void failUnconfirmed();
    bool telnet() const { return m_url.kind == DeviceUrl::Kind::Rfc2217; }
    QList<QHostAddress> addressesOf(const QDeadlineTimer& deadline) const;
    void resetLink();
    void release() noexcept;
    void tuneSocket();
    void ackAtOnce();
    QByteArray negotiate(const QDeadlineTimer& deadline);
    void applyRemote(const SerialSettings& s, const QDeadlineTimer& deadline,
                     const QByteArray& before = {});
    bool waitUntil(const std::function<bool()>& done, const QDeadlineTimer& deadline,
                   int pollMs = -1);
    qint64 unacknowledged() const;
    void pump();
    void drain();
    void takeData(QByteArrayView data);
    void handle(const TelnetParser::Command& command);
    void answer(std::bitset<256>& answered, unsigned char verb, unsigned char option);
    void queue(const QByteArray& bytes);
    void sendControl(unsigned char code, unsigned char value);
    bool linkDown() const;

    QString m_label; // "COM2 (rfc2217://host:7000)"
    DeviceUrl m_url;
    QTcpSocket m_socket;
    TelnetParser m_parser;
    InputBuffer m_input;
    QByteArray m_greeting; // what the server said while the line was set up
    SerialSettings m_settings;
    FlowControl m_flow = FlowControl::None;
    bool m_open = false;
    bool m_lost = false;        // the link went down while open and nobody was told yet
    bool m_unconfirmed = false; // sent since the server last confirmed it passed all on
    QElapsedTimer m_confirmed;  // since the server last confirmed
    Offer m_comPort = Offer::Unknown;
    std::bitset<256> m_willSent, m_doSent; // options we agreed to or refused, each once
    bool m_holdOutput = false; // while the server's opening is heard: answers wait in m_held
    QByteArray m_held;
    std::map<unsigned char, QByteArray> m_replies; // the server's answers by request code
    ModemLines m_lines;
};
