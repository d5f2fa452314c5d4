#include "FakeComPortServer.h"

#include "serial/TelnetParser.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <vector>

namespace
{
constexpr unsigned char kComPort = 44;
}

FakeComPortServer::FakeComPortServer(Mode mode) : m_mode(mode) {}

FakeComPortServer::~FakeComPortServer()
{
    quit();
    wait(5000);
}

quint16 FakeComPortServer::startListening()
{
    start();
    m_ready.tryAcquire(1, 5000);
    return m_port;
}

QString FakeComPortServer::url() const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_port);
}

void FakeComPortServer::send(const QByteArray& raw)
{
    QMetaObject::invokeMethod(
        m_context,
        [this, raw] {
            if (m_client) {
                m_client->write(raw);
                m_client->flush();
            }
        },
        Qt::QueuedConnection);
}

QByteArray FakeComPortServer::received()
{
    QMutexLocker lock(&m_mutex);
    return m_received;
}

QByteArray FakeComPortServer::data()
{
    TelnetParser parser;
    QByteArray data;
    std::vector<TelnetParser::Command> commands;
    parser.Feed(received(), data, commands);
    return data;
}

QList<int> FakeComPortServer::requests(unsigned char code)
{
    TelnetParser parser;
    QByteArray data;
    std::vector<TelnetParser::Command> commands;
    parser.Feed(received(), data, commands);
    QList<int> values;
    for (const auto& c : commands) {
        if (c.verb == TelnetParser::SB && c.option == kComPort && c.payload.size() > 1 &&
            static_cast<unsigned char>(c.payload[0]) == code)
            values << static_cast<unsigned char>(c.payload[1]);
    }
    return values;
}

void FakeComPortServer::run()
{
    QTcpServer server;
    m_context = &server;
    if (server.listen(QHostAddress::LocalHost, 0))
        m_port = server.serverPort();
    connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
        QTcpSocket* socket = server.nextPendingConnection();
        m_client = socket;
        auto parser = std::make_shared<TelnetParser>();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, parser] {
            const QByteArray raw = socket->readAll();
            {
                QMutexLocker lock(&m_mutex);
                m_received += raw;
            }
            QByteArray data;
            std::vector<TelnetParser::Command> commands;
            parser->Feed(raw, data, commands);
            if (m_mode == Mode::HangUpOnData && !data.isEmpty()) {
                socket->disconnectFromHost();
                return;
            }
            for (const auto& c : commands) {
                if (c.verb != TelnetParser::SB || c.option != kComPort || c.payload.isEmpty())
                    continue;
                if (m_mode == Mode::Silent)
                    continue;
                const QByteArray value = c.payload.mid(1);
                if (m_mode == Mode::NeverConfirms && value.count('\0') == value.size())
                    continue; // a question: every byte of the value 0
                if (m_mode == Mode::CloseInNegotiation) {
                    socket->disconnectFromHost();
                    return;
                }
                QByteArray answer = c.payload;
                answer[0] = char(answer[0] + 100);
                if (m_mode == Mode::OtherSpeed && c.payload[0] == 1)
                    answer = QByteArray::fromHex("6500004b00"); // 19200
                if (m_mode == Mode::KeepsFirstSpeed && c.payload[0] == 1) {
                    if (m_firstSpeed.isEmpty())
                        m_firstSpeed = answer;
                    answer = m_firstSpeed;
                }
                socket->write(TelnetParser::Subnegotiation(kComPort, answer));
            }
        });
        socket->write(TelnetParser::Negotiation(
            m_mode == Mode::RefuseComPort ? TelnetParser::DONT : TelnetParser::DO, kComPort));
    });
    m_ready.release();
    exec();
    m_client = nullptr;
}
