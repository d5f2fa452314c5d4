#include "serial/NetworkSerialDevice.h"

#include "serial/SerialLogging.h"

#include <QHostInfo>
#include <QtEndian>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif

namespace
{
// Telnet options used here.
constexpr unsigned char kBinary = 0;
constexpr unsigned char kSuppressGoAhead = 3;
constexpr unsigned char kComPort = 44;

// COM-PORT-OPTION requests; the server answers each with code + 100.
enum ComPort : unsigned char {
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyModemState = 7,
    PurgeData = 12,
    ServerOffset = 100,
};
// SET-CONTROL values (RFC 2217, section 3). The flow control ones are the
// "outbound/both" kind: the server's line then does one kind both ways, as a
// local port does.
enum Control : unsigned char {
    NoFlow = 1,
    XonXoffFlow = 2,
    HardwareFlow = 3,
    BreakOn = 5,
    BreakOff = 6,
    DtrOn = 8,
    DtrOff = 9,
    RtsOn = 11,
    RtsOff = 12,
};
// PURGE-DATA value: the server's receive buffer, what came from its line.
constexpr unsigned char kPurgeReceived = 1;
// NOTIFY-MODEMSTATE bits.
constexpr unsigned char kCd = 0x80, kDsr = 0x20, kCts = 0x10;

// One write may wait this long for the system to take the bytes.
constexpr int kWriteMs = 3000;
// A purge the server does not confirm within this long still empties our side.
constexpr int kPurgeMs = 1000;
// A server's opening words come at once; this long is given for them.
constexpr int kOpeningMs = 100;
// A raw server that refuses us says so at once; this long is given for it.
constexpr int kRawSettleMs = 100;
// Chunks read from the socket at a time, and what the socket may hold unread.
constexpr qint64 kChunk = 4096;
constexpr qint64 kSocketBuffer = 64 * 1024;
// Rounds of a non-blocking read, so a flooding server cannot hold us.
constexpr int kPumpRounds = 16;
// How often raw TCP looks whether the server's system has acknowledged all.
constexpr int kAckPollMs = 1;

// Looks a name up on a thread of its own, so that a resolver that hangs
// cannot hold the caller past the deadline; a late answer is thrown away.
std::optional<QHostInfo> lookUp(const QString& host, const QDeadlineTimer& deadline)
{
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<QHostInfo> info;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, host] {
        QHostInfo info = QHostInfo::fromName(host);
        const std::lock_guard lock(shared->mutex);
        shared->info = std::move(info);
        shared->done.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    shared->done.wait_for(lock, std::chrono::milliseconds(deadline.remainingTime()),
                          [&] { return shared->info.has_value(); });
    return shared->info;
}

QByteArray byteValue(int value)
{
    return QByteArray(1, char(value));
}

QByteArray baudValue(qint32 baud)
{
    QByteArray v(4, 0);
    qToBigEndian(quint32(baud), v.data());
    return v;
}

// What a SET-* answer means, for messages.
QString describe(unsigned char request, const QByteArray& value)
{
    const auto byte = [&] { return value.isEmpty() ? -1 : int(static_cast<uchar>(value[0])); };
    switch (request) {
    case SetBaudRate:
        return value.size() == 4 ? CommError::Baud(qFromBigEndian<quint32>(value.data()))
                                 : NetworkSerialDevice::tr("an unreadable speed");
    case SetDataSize:
        return CommError::DataBits(byte());
    case SetParity: {
        static constexpr char kNames[] = "?noems";
        const int p = byte();
        return CommError::Parity(p >= 1 && p <= 5 ? QLatin1Char(kNames[p]) : QLatin1Char('?'));
    }
    default: {
        static const char* const kStops[] = {"?", "1", "2", "1.5"};
        const int s = byte();
        return NetworkSerialDevice::tr("%1 stop bits")
            .arg(QLatin1StringView(s >= 1 && s <= 3 ? kStops[s] : kStops[0]));
    }
    }
}
} // namespace

NetworkSerialDevice::NetworkSerialDevice(const QString& portLabel, const QString& name,
                                         DeviceUrl url)
    : m_label(CommError::Where(portLabel, name)), m_url(std::move(url))
{
    m_socket.setReadBufferSize(kSocketBuffer);
    QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] { drain(); });
    // The link went down: the next writer is told. The socket is already
    // unconnected, so nothing needs closing from inside its notification.
    QObject::connect(&m_socket, &QTcpSocket::disconnected, &m_socket, [this] {
        if (m_open)
            m_lost = true;
    });
    QObject::connect(&m_socket, &QTcpSocket::errorOccurred, &m_socket, [this] {
        if (m_open && linkDown())
            m_lost = true;
    });
}

NetworkSerialDevice::~NetworkSerialDevice()
{
    Close();
}

void NetworkSerialDevice::fail(CommErrorCode code, const QString& reason) const
{
    throw CommError(code, QStringLiteral("%1: %2").arg(
                              m_label, reason.isEmpty() ? CommError::Reason(code) : reason));
}

void NetworkSerialDevice::failDisconnected()
{
    release();
    fail(CommErrorCode::Disconnected, tr("disconnected (the connection to the server was lost)"));
}

void NetworkSerialDevice::failConnect()
{
    const auto error = m_socket.error();
    const QString detail = m_socket.errorString();
    const bool timedOut = m_socket.state() != QAbstractSocket::UnconnectedState;
    m_socket.abort();
    if (timedOut)
        fail(CommErrorCode::ServerUnreachable,
             tr("the server did not answer within %1 s").arg(kOpenMs / 1000));
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        fail(CommErrorCode::ConnectionRefused);
    default:
        fail(CommErrorCode::ServerUnreachable, tr("cannot connect (%1)").arg(detail));
    }
}

// The server hung up or stayed silent while we waited for `awaited`.
void NetworkSerialDevice::failNoAnswer(const QString& awaited)
{
    const bool closed = linkDown();
    if (closed && m_open)
        failDisconnected();
    release();
    if (closed && m_greeting.toLower().contains("in use"))
        fail(CommErrorCode::PortBusy);
    if (closed)
        fail(CommErrorCode::ServerRefusedLine,
             tr("the server closed the connection while setting up the line"));
    fail(CommErrorCode::ServerRefusedLine, tr("the server did not confirm %1").arg(awaited));
}

// Drain() could not confirm what was written: the link went down, or the
// server did not answer in time (it keeps the link for the owner to close).
void NetworkSerialDevice::failUnconfirmed()
{
    if (linkDown()) {
        release();
        fail(CommErrorCode::Disconnected,
             tr("the connection to the server was lost before the server confirmed what was "
                "sent; it may not have arrived"));
    }
    fail(CommErrorCode::WriteFailed,
         telnet() ? tr("the server did not confirm within %1 s that it passed on what was sent; "
                       "it may not have arrived")
                        .arg(kConfirmMs / 1000)
                  : tr("the server did not take what was sent within %1 s; it may not have "
                       "arrived")
                        .arg(kConfirmMs / 1000));
}

bool NetworkSerialDevice::linkDown() const
{
    return m_socket.state() != QAbstractSocket::ConnectedState;
}

void NetworkSerialDevice::resetLink()
{
    m_parser = {};
    m_input.Clear();
    m_greeting.clear();
    m_comPort = Offer::Unknown;
    m_willSent.reset();
    m_doSent.reset();
    m_replies.clear();
    m_lines = {};
    m_lost = false;
    m_unconfirmed = false;
    m_holdOutput = false;
    m_held.clear();
}

// Lets the connection go; the owner's wish to have the line stays as it was.
void NetworkSerialDevice::release() noexcept
{
    m_open = false;
    m_lost = false;
    m_unconfirmed = false;
    m_socket.abort();
    m_input.Clear();
}

// No Nagle delay, and a dead link noticed within seconds, not hours.
void NetworkSerialDevice::tuneSocket()
{
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_LINUX
    const int fd = int(m_socket.socketDescriptor());
    const int idleS = 3, intervalS = 1, probes = 3, unackedMs = 6000;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof idleS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalS, sizeof intervalS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unackedMs, sizeof unackedMs);
#endif
    ackAtOnce();
}

// Acknowledges what arrives at once instead of up to 40 ms later. A server
// that delays its small writes until the last one is acknowledged (ser2net
// does: it confirms the settings only after our acknowledgement of its
// previous answer) would otherwise hold every open up by that long. The
// system falls back to delayed acknowledgements by itself, so this is
// renewed after each read.
void NetworkSerialDevice::ackAtOnce()
{
#ifdef Q_OS_LINUX
    const int on = 1;
    ::setsockopt(int(m_socket.socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#endif
}

QList<QHostAddress> NetworkSerialDevice::addressesOf(const QDeadlineTimer& deadline) const
{
    if (const QHostAddress literal(m_url.host); !literal.isNull())
        return {literal};
    const std::optional<QHostInfo> info = lookUp(m_url.host, deadline);
    if (!info)
        fail(CommErrorCode::ServerUnreachable,
             tr("the name \"%1\" could not be looked up within %2 s")
                 .arg(m_url.host)
                 .arg(kOpenMs / 1000));
    if (info->error() != QHostInfo::NoError || info->addresses().isEmpty())
        fail(CommErrorCode::HostUnknown, tr("the host \"%1\" is not known").arg(m_url.host));
    return info->addresses();
}

void NetworkSerialDevice::Open(const SerialSettings& settings)
{
    if (m_open)
        fail(CommErrorCode::PortAlreadyOpen);
    if (settings.dataBits < 5)
        fail(CommErrorCode::SettingsNotSupported, CommError::CannotUseDataBits(settings.dataBits));
    const QDeadlineTimer deadline(kOpenMs);
    resetLink();
    for (const QHostAddress& address : addressesOf(deadline)) {
        m_socket.abort();
        m_socket.connectToHost(address, m_url.port);
        if (m_socket.waitForConnected(int(deadline.remainingTime())) || deadline.hasExpired())
            break;
    }
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        failConnect();
    qCDebug(lcNet).noquote() << m_label << "connected to" << m_socket.peerAddress().toString()
                             << "port" << m_url.port;
    tuneSocket();
    if (telnet()) {
        const QByteArray answers = negotiate(deadline);
        applyRemote(settings, deadline, answers);
    } else if (!waitUntil([] { return false; }, QDeadlineTimer(kRawSettleMs)) && linkDown()) {
        failNoAnswer(QString());
    }
    m_open = true;
    m_settings = settings;
    if (m_flow != FlowControl::None)
        SetFlowControl(m_flow);
}

// Offers COM-PORT-OPTION and 8-bit data both ways, and waits for the server
// to take the offer. A server that speaks first (ser2net does) is heard out
// before anything is sent: one that turns us away says why and hangs up, and
// bytes of ours it never read would make its system reset the connection
// and drop that explanation on the way. When the server has already asked
// for COM-PORT-OPTION, our answers are returned unsent, to go out with the
// settings in one piece: a server that delays small writes (Nagle) then
// confirms at once instead of after our delayed acknowledgement.
QByteArray NetworkSerialDevice::negotiate(const QDeadlineTimer& deadline)
{
    using P = TelnetParser;
    m_holdOutput = true;
    QDeadlineTimer opening(kOpeningMs);
    opening = std::min(opening, deadline);
    waitUntil([this] { return m_comPort != Offer::Unknown; }, opening);
    for (const unsigned char option : {kComPort, kBinary, kSuppressGoAhead})
        answer(m_willSent, P::WILL, option);
    for (const unsigned char option : {kBinary, kSuppressGoAhead})
        answer(m_doSent, P::DO, option);
    m_holdOutput = false;
    QByteArray held = std::exchange(m_held, {});
    qCDebug(lcNet).noquote() << m_label << "RFC 2217:"
                             << (m_comPort == Offer::Accepted ? "the server offered COM-PORT-OPTION"
                                                              : "offering COM-PORT-OPTION");
    if (m_comPort == Offer::Accepted)
        return held;
    queue(held);
    if (!waitUntil([this] { return m_comPort != Offer::Unknown; }, deadline))
        failNoAnswer(tr("the use of RFC 2217"));
    if (m_comPort == Offer::Refused) {
        release();
        fail(CommErrorCode::SettingsNotSupported,
             tr("the server does not set serial lines (RFC 2217); for bytes only, use "
                "socket://%1:%2")
                 .arg(m_url.host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(m_url.host)
                                                            : m_url.host)
                 .arg(m_url.port));
    }
    return {};
}

// Sends all four settings at once, after `before`, then checks each answer
// against its request.
void NetworkSerialDevice::applyRemote(const SerialSettings& s, const QDeadlineTimer& deadline,
                                      const QByteArray& before)
{
    static constexpr char kParity[] = {'n', 'o', 'e', 'm', 's'};
    const auto parity = std::find(std::begin(kParity), std::end(kParity), s.parity);
    const int stop = s.stopBits == SerialSettings::StopBits::One   ? 1
                     : s.stopBits == SerialSettings::StopBits::Two ? 2
                                                                   : 3;
    const std::pair<unsigned char, QByteArray> requests[] = {
        {SetBaudRate, baudValue(s.baudRate)},
        {SetDataSize, byteValue(s.dataBits)},
        {SetParity, byteValue(int(parity - std::begin(kParity)) + 1)},
        {SetStopSize, byteValue(stop)},
    };
    QByteArray bytes = before;
    for (const auto& [code, value] : requests) {
        m_replies.erase(code);
        bytes += TelnetParser::Subnegotiation(kComPort, byteValue(code) + value);
    }
    queue(bytes);
    const bool answered = waitUntil(
        [this] {
            return m_replies.count(SetBaudRate) && m_replies.count(SetDataSize) &&
                   m_replies.count(SetParity) && m_replies.count(SetStopSize);
        },
        deadline);
    if (!answered)
        failNoAnswer(tr("the line settings %1").arg(s.ToString()));
    for (const auto& [code, value] : requests) {
        const QByteArray& got = m_replies[code];
        qCDebug(lcNet).noquote() << m_label << "asked for" << describe(code, value)
                                 << "- the server set" << describe(code, got);
        if (got == value)
            continue;
        const QString reason = tr("the device cannot use %1 (the server set %2)")
                                   .arg(describe(code, value), describe(code, got));
        if (!m_open)
            release();
        fail(CommErrorCode::SettingsNotSupported, reason);
    }
}

// What is unconfirmed is confirmed first, as far as that goes within the
// bound; a failure cannot be reported from here.
void NetworkSerialDevice::Close() noexcept
{
    try {
        Drain();
    } catch (...) {
        // the owner closes anyway; one that must know calls Drain() first
    }
    // kLingerMs after the last confirmation, for the server's device.
    if (m_open && m_confirmed.isValid() && m_confirmed.elapsed() < kLingerMs)
        waitUntil([] { return false; }, QDeadlineTimer(kLingerMs - m_confirmed.elapsed()));
    release();
}

// The server confirms that it passed on what came before. RFC 2217: a
// question it answers only in turn, after handling what came before it:
// SET-BAUDRATE with the value 0 asks for the speed and changes nothing.
// ser2net reads the stream in order and hands the data to its device
// before it reads on, so the answer comes once the data went to the device;
// and every server answers it, the speed being the one setting all of them
// have. The answer also follows those to every earlier request, so nothing
// is left unread that would make our system reset the connection (which
// pyserial's server takes for a failure, dropping what it holds). Raw TCP
// has no question to ask: the server's system acknowledging every byte
// stands in. Then kLingerMs for the server's device.
void NetworkSerialDevice::Drain()
{
    if (!m_open || !std::exchange(m_unconfirmed, false))
        return;
    const QDeadlineTimer deadline(kConfirmMs);
    if (telnet()) {
        m_replies.erase(SetBaudRate);
        queue(TelnetParser::Subnegotiation(kComPort, byteValue(SetBaudRate) + baudValue(0)));
        if (!waitUntil([this] { return m_replies.count(SetBaudRate) > 0; }, deadline))
            failUnconfirmed();
    } else if (!waitUntil([this] { return unacknowledged() == 0; }, deadline, kAckPollMs)) {
        failUnconfirmed();
    }
    qCDebug(lcNet).noquote() << m_label << "the server confirmed what was sent";
    m_confirmed.start();
}

// Bytes sent that the server's system has not acknowledged yet (0 where
// the system does not tell).
qint64 NetworkSerialDevice::unacknowledged() const
{
#ifdef Q_OS_LINUX
    int queued = 0;
    if (::ioctl(int(m_socket.socketDescriptor()), SIOCOUTQ, &queued) == 0)
        return queued;
#endif
    return 0;
}

// All of the settings or none: a refused change puts the old ones back. On
// a link that is down they are kept for the next connection, and the next
// write reports the loss.
void NetworkSerialDevice::ApplySettings(const SerialSettings& settings)
{
    pump();
    if (m_open && linkDown())
        m_lost = true;
    if (m_open && telnet() && !m_lost) {
        if (settings.dataBits < 5)
            fail(CommErrorCode::SettingsNotSupported,
                 CommError::CannotUseDataBits(settings.dataBits));
        try {
            applyRemote(settings, QDeadlineTimer(kOpenMs));
        } catch (const CommError& e) {
            if (e.code() == CommErrorCode::Disconnected)
                m_settings = settings;
            if (e.code() == CommErrorCode::SettingsNotSupported && m_open) {
                try {
                    applyRemote(m_settings, QDeadlineTimer(kOpenMs));
                } catch (const CommError&) {
                    // the first error is the one to report
                }
            }
            throw;
        }
    }
    m_settings = settings;
}

void NetworkSerialDevice::Write(QByteArrayView data)
{
    pump(); // a hang-up that already arrived is found now, not after the write
    if (m_lost || (m_open && linkDown()))
        failDisconnected();
    // After a loss the owner opens the line again (CMSComm does, with the
    // whole line as its properties say): one place reconnects.
    if (!m_open)
        fail(CommErrorCode::PortNotOpen);
    if (data.isEmpty())
        return;

    const QByteArray bytes = telnet() ? TelnetParser::Escape(data) : data.toByteArray();
    m_unconfirmed = true;
    if (m_socket.write(bytes) != bytes.size())
        failDisconnected();
    // QTcpSocket only queues; hand the bytes to the system now, so nothing
    // waits for an event loop and nothing is dropped by a close.
    const QDeadlineTimer deadline(kWriteMs);
    m_socket.flush();
    while (m_socket.bytesToWrite() > 0 && !linkDown() && !deadline.hasExpired())
        m_socket.waitForBytesWritten(int(deadline.remainingTime()));
    if (linkDown())
        failDisconnected();
    if (m_socket.bytesToWrite() > 0) {
        release();
        fail(CommErrorCode::WriteFailed, tr("the server does not take the data"));
    }
}

QByteArray NetworkSerialDevice::Read(qint64 maxSize)
{
    pump();
    return m_input.Take(maxSize);
}

qint64 NetworkSerialDevice::BytesAvailable()
{
    pump();
    return m_input.Size();
}

// Asks the server to drop what it holds from the line, and drops what came.
void NetworkSerialDevice::ClearInput()
{
    if (!m_open)
        return;
    if (telnet()) {
        m_replies.erase(PurgeData);
        sendControl(PurgeData, kPurgeReceived);
        waitUntil([this] { return m_replies.count(PurgeData) > 0; }, QDeadlineTimer(kPurgeMs));
    } else {
        pump();
    }
    m_input.Clear();
}

void NetworkSerialDevice::SetDtr(bool on)
{
    sendControl(SetControl, on ? DtrOn : DtrOff);
}

void NetworkSerialDevice::SetRts(bool on)
{
    if (m_flow != FlowControl::RtsCts)
        sendControl(SetControl, on ? RtsOn : RtsOff);
}

void NetworkSerialDevice::SetBreak(bool on)
{
    sendControl(SetControl, on ? BreakOn : BreakOff);
}

void NetworkSerialDevice::SetFlowControl(FlowControl flow)
{
    m_flow = flow;
    sendControl(SetControl, flow == FlowControl::XonXoff  ? XonXoffFlow
                            : flow == FlowControl::RtsCts ? HardwareFlow
                                                          : NoFlow);
}

SerialDevice::ModemLines NetworkSerialDevice::ReadModemLines()
{
    pump();
    return m_open ? m_lines : ModemLines{};
}

qintptr NetworkSerialDevice::Handle() const
{
    return m_open ? m_socket.socketDescriptor() : -1;
}

// Reads and handles what arrives until `done` holds, the link goes down or
// the deadline passes; tells whether `done` held. With pollMs, `done` is
// asked at least that often, also while nothing arrives.
bool NetworkSerialDevice::waitUntil(const std::function<bool()>& done,
                                    const QDeadlineTimer& deadline, int pollMs)
{
    for (;;) {
        pump();
        if (done())
            return true;
        if (linkDown() || deadline.hasExpired())
            return false;
        qint64 wait = std::max<qint64>(1, deadline.remainingTime());
        if (pollMs > 0)
            wait = std::min<qint64>(wait, pollMs);
        m_socket.waitForReadyRead(int(wait));
    }
}

// Takes what the system holds for us, without waiting.
void NetworkSerialDevice::pump()
{
    if (linkDown())
        return;
    for (int i = 0; i < kPumpRounds && m_socket.waitForReadyRead(0); ++i) {
    }
    drain();
}

void NetworkSerialDevice::drain()
{
    if (m_socket.bytesAvailable() > 0)
        ackAtOnce();
    while (m_socket.bytesAvailable() > 0) {
        const QByteArray chunk = m_socket.read(kChunk);
        if (!telnet()) {
            takeData(chunk);
            continue;
        }
        QByteArray data;
        std::vector<TelnetParser::Command> commands;
        m_parser.Feed(chunk, data, commands);
        takeData(data);
        for (const auto& command : commands)
            handle(command);
    }
}

// Keeps data up to the input limit; what does not fit is dropped and noted.
void NetworkSerialDevice::takeData(QByteArrayView data)
{
    if (!m_open && m_greeting.size() < 256)
        m_greeting += data.first(std::min<qsizetype>(data.size(), 256));
    m_input.Append(data);
}

void NetworkSerialDevice::handle(const TelnetParser::Command& command)
{
    using P = TelnetParser;
    const unsigned char option = command.option;
    const bool wanted = option == kBinary || option == kSuppressGoAhead;
    switch (command.verb) {
    case P::WILL:
        answer(m_doSent, wanted ? P::DO : P::DONT, option);
        break;
    case P::DO:
        if (option == kComPort)
            m_comPort = Offer::Accepted;
        answer(m_willSent, wanted || option == kComPort ? P::WILL : P::WONT, option);
        break;
    case P::DONT:
        if (option == kComPort && m_comPort == Offer::Unknown)
            m_comPort = Offer::Refused;
        break;
    case P::SB:
        if (option != kComPort || command.payload.isEmpty())
            break;
        if (const auto code = static_cast<unsigned char>(command.payload[0]); code > ServerOffset) {
            const QByteArray value = command.payload.mid(1);
            m_replies[code - ServerOffset] = value;
            if (code == ServerOffset + NotifyModemState && !value.isEmpty()) {
                const auto bits = static_cast<unsigned char>(value[0]);
                m_lines = {bool(bits & kCd), bool(bits & kCts), bool(bits & kDsr)};
            }
        }
        break;
    default:
        break;
    }
}

// Says `verb` about `option`, once per connection: a reply is never answered
// again, so no two parties loop, and a flood of requests costs nothing.
void NetworkSerialDevice::answer(std::bitset<256>& answered, unsigned char verb,
                                 unsigned char option)
{
    if (answered.test(option))
        return;
    answered.set(option);
    queue(TelnetParser::Negotiation(verb, option));
}

void NetworkSerialDevice::queue(const QByteArray& bytes)
{
    if (m_holdOutput) {
        m_held += bytes;
        return;
    }
    if (linkDown())
        return;
    m_socket.write(bytes);
    m_socket.flush();
}

// A request the server need not confirm (ser2net on a pseudo-terminal does
// not confirm DTR or RTS); a lost link shows on the next write.
void NetworkSerialDevice::sendControl(unsigned char code, unsigned char value)
{
    if (!m_open || !telnet())
        return;
    m_unconfirmed = true;
    qCDebug(lcNet).noquote() << m_label << "asked for control" << int(code) << "value" << int(value);
    queue(TelnetParser::Subnegotiation(kComPort, byteValue(code) + byteValue(value)));
}
