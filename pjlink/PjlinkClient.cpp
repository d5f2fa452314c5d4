#include "pjlink/PjlinkClient.h"

#include <QTcpSocket>

PjlinkClient::PjlinkClient(const PjlinkUrl& url, const QByteArray& password, QObject* parent)
    : QObject(parent), m_url(url), m_password(password)
{
    m_answerTimer.setSingleShot(true);
    m_runTimer.setSingleShot(true);
    connect(&m_answerTimer, &QTimer::timeout, this, [this] {
        fail(m_stage == Stage::Connecting
                 ? tr("no connection within %1 s").arg(m_limits.connectMs / 1000.0)
                 : tr("no answer within %1 s").arg(m_limits.answerMs / 1000.0));
    });
    connect(&m_runTimer, &QTimer::timeout, this,
            [this] { fail(tr("the queries took longer than %1 s").arg(m_limits.runMs / 1000.0)); });
}

PjlinkClient::~PjlinkClient()
{
    if (m_socket)
        m_socket->abort();
}

bool PjlinkClient::Run(const QList<PjlinkRequest>& requests)
{
    if (m_waiting.size() + requests.size() > kMaxWaiting)
        return false;
    m_waiting += requests;
    if (m_stage != Stage::Idle || m_waiting.isEmpty())
        return true;
    m_sent = m_received = 0;
    m_line.clear();
    m_digest.clear();
    m_authenticating = false;
    delete m_socket;
    m_socket = new QTcpSocket(this);
    // What the socket holds unread: a few lines, never a flood.
    m_socket->setReadBufferSize(4 * PjlinkMessage::kMaxLine);
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_stage = Stage::Greeting;
        m_answerTimer.start(m_limits.answerMs);
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &PjlinkClient::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError code) {
        if (code == QAbstractSocket::RemoteHostClosedError)
            fail(m_line.isEmpty() ? tr("the projector closed the connection before answering")
                                  : tr("the projector closed the connection in the middle of a line"));
        else
            fail(m_socket->errorString());
    });
    m_stage = Stage::Connecting;
    m_answerTimer.start(m_limits.connectMs);
    m_runTimer.start(m_limits.runMs);
    m_socket->connectToHost(m_url.host, m_url.port);
    return true;
}

void PjlinkClient::onReadyRead()
{
    // This run's socket: a run that ends here may start the next one.
    QTcpSocket* const socket = m_socket;
    while (m_socket == socket && socket->bytesAvailable() > 0) {
        char chunk[PjlinkMessage::kMaxLine];
        const qint64 got = socket->read(chunk, sizeof chunk);
        if (got <= 0)
            return;
        m_received += got;
        for (qint64 i = 0; i < got && m_socket == socket; ++i) {
            if (chunk[i] == '\r') {
                onLine(std::exchange(m_line, {}));
            } else if (chunk[i] == '\n' && m_line.isEmpty()) {
                // a line feed after the carriage return, as some send
            } else if (m_line.size() >= PjlinkMessage::kMaxLine - 1) {
                fail(tr("the projector sent a line longer than %1 bytes")
                         .arg(PjlinkMessage::kMaxLine));
            } else {
                m_line += chunk[i];
            }
        }
    }
}

void PjlinkClient::onLine(const QByteArray& line)
{
    QString error;
    if (m_stage == Stage::Greeting) {
        PjlinkGreeting greeting;
        if (!PjlinkMessage::ParseGreeting(line, &greeting, &error))
            return fail(error);
        if (greeting.kind == PjlinkGreeting::AuthFailed)
            return fail(tr("the projector refused the connection (ERRA)"));
        if (greeting.kind == PjlinkGreeting::Challenge) {
            if (m_password.isEmpty())
                return fail(tr("the projector asks for a password and none is set"));
            m_digest = PjlinkMessage::Digest(greeting.random, m_password);
            m_authenticating = true;
        }
        m_stage = Stage::Answering;
        return sendNext();
    }
    if (m_authenticating && line.compare("PJLINK ERRA", Qt::CaseInsensitive) == 0)
        return fail(tr("the projector refused the password (ERRA)"));
    m_authenticating = false;
    PjlinkAnswer answer;
    if (!PjlinkMessage::ParseAnswer(line, &answer, &error))
        return fail(error);
    const PjlinkRequest request = m_waiting.first();
    if (answer.command != request.command)
        return fail(tr("the projector answered %1 to %2")
                        .arg(QString::fromLatin1(answer.command), QString::fromLatin1(request.command)));
    m_waiting.removeFirst();
    emit answered(request, answer);
    if (m_stage == Stage::Answering)
        sendNext();
}

void PjlinkClient::sendNext()
{
    if (m_waiting.isEmpty()) {
        m_socket->disconnectFromHost();
        return finish({});
    }
    QByteArray bytes = m_digest + PjlinkMessage::Encode(m_waiting.first());
    m_digest.clear();
    m_sent += bytes.size();
    m_socket->write(bytes);
    m_answerTimer.start(m_limits.answerMs);
}

void PjlinkClient::fail(const QString& reason)
{
    if (m_stage == Stage::Idle)
        return;
    if (m_socket)
        m_socket->abort();
    finish(tr("projector %1: %2").arg(m_url.Address(), reason));
}

void PjlinkClient::finish(const QString& error)
{
    m_stage = Stage::Idle;
    m_answerTimer.stop();
    m_runTimer.stop();
    m_line.clear();
    m_waiting.clear();
    if (m_socket) {
        // Deleted later: this may run from one of its own signals.
        m_socket->disconnect(this);
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    emit finished(error);
}
