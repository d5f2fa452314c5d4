#include "app/ServerSend.h"

#include "app/SendCommand.h"
#include "control/CommandResolver.h"
#include "control/RoomId.h"
#include "control/Line.h"
#include "control/Logging.h"
#include "control/SecretFile.h"
#include "serial/InputLimit.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTextStream>
#include <QUuid>
#if QT_CONFIG(ssl)
#include <QSslCertificate>
#include <QSslConfiguration>
#endif

namespace
{
const QString kAll = QStringLiteral("all");

// The server's own words for a refusal, from {"error": "..."}.
QString errorOf(const QByteArray& body)
{
    return QJsonDocument::fromJson(body).object().value(QLatin1String("error")).toString();
}
} // namespace

std::optional<QString> ServerSend::CheckServer(const QString& url, QUrl& server)
{
    if (url.size() > InputLimit::kDeviceName)
        return InputLimit::TooLong(tr("the server's address"), url, InputLimit::kDeviceName);
    server = QUrl(url.trimmed(), QUrl::StrictMode);
    const QString scheme = server.scheme();
    if (!server.isValid() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        server.host().isEmpty() || server.hasQuery() || server.hasFragment() ||
        !server.userInfo().isEmpty())
        return tr("\"%1\" is no server address: give http://HOST:PORT or https://HOST:PORT")
            .arg(InputLimit::Quoted(url));
    return std::nullopt;
}

std::optional<QString> ServerSend::CheckRoom(const QString& room)
{
    if (room.isEmpty())
        return tr("--server needs --room ID (a room's ID, or all)");
    if (!IsRoomId(room.startsWith(QLatin1Char('@')) ? room.mid(1) : room))
        return tr("\"%1\" is no room: a room's ID is 1 to 32 letters, digits, - and _, @ and "
                  "a group's name, or all")
            .arg(InputLimit::Quoted(room));
    return std::nullopt;
}

std::optional<QString> ServerSend::CheckCertificates(const QString& file)
{
    if (file.isEmpty())
        return std::nullopt;
#if QT_CONFIG(ssl)
    if (!QSslCertificate::fromPath(file).isEmpty())
        return std::nullopt;
#endif
    return tr("no certificate could be read from %1 (--ca takes PEM files)").arg(file);
}

std::optional<QString> ServerSend::ReadToken(const QString& file, QByteArray& token)
{
    if (!file.isEmpty()) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return tr("cannot read the token file %1: %2").arg(file, f.errorString());
        if (const auto exposed = SecretFile::Exposed(file))
            return *exposed;
        token = f.readLine(kMaxTokenBytes + 2).trimmed();
    } else {
        token = qgetenv("LUMO_TOKEN").trimmed();
    }
    if (token.isEmpty())
        return file.isEmpty() ? tr("no token: set LUMO_TOKEN or give --token-file FILE")
                              : tr("the token file %1 holds no token").arg(file);
    static const QRegularExpression printable(QStringLiteral("^[\\x21-\\x7e]+$"));
    if (token.size() > kMaxTokenBytes || !printable.match(QString::fromLatin1(token)).hasMatch())
        return tr("the token is no token: 1 to %1 printable characters without spaces")
            .arg(kMaxTokenBytes);
    return std::nullopt;
}

QString ServerSend::serverName() const
{
    return server.toDisplayString(QUrl::RemoveUserInfo | QUrl::StripTrailingSlash);
}

int ServerSend::Run(const Options& options, const QList<const Command*>& commands,
                    QTextStream& err)
{
    ServerSend send;
    send.room = options.room;
    send.caFile = options.caFile;
    std::optional<QString> wrong = CheckServer(options.server, send.server);
    if (!wrong)
        wrong = CheckRoom(send.room);
    if (!wrong)
        wrong = CheckCertificates(send.caFile);
    if (!wrong)
        wrong = ReadToken(options.tokenFile, send.token);
    if (wrong) {
        err << *wrong << '\n';
        return SendCommand::UsageError;
    }
    return send.Send(commands, err);
}

int ServerSend::Send(const QList<const Command*>& commands, QTextStream& err) const
{
    int status = SendCommand::Sent;
    const bool sent = Line::SendInOrder(
        commands,
        [&](const Command& command) {
            const Answer answer = post(command);
            status = answer.status;
            if (!answer.notRecorded.isEmpty())
                err << answer.notRecorded << '\n';
            return answer.error ? CommandResult::Failed(&command, CommandResult::Code::NotSent,
                                                        *answer.error)
                                : CommandResult{&command, CommandResult::Code::Sent, {}};
        },
        err);
    return sent ? int(SendCommand::Sent) : status;
}

ServerSend::Answer ServerSend::post(const Command& command) const
{
    // A group (@NAME) is sent as every room of it.
    const bool group = room.startsWith(QLatin1Char('@'));
    const bool all = room == kAll || group;
    QUrl url = server;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QStringLiteral("/api/v1/rooms/%1/commands/%2")
                           .arg(group ? kAll : room, QString(QLatin1Char(command.letter))));
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", "Bearer " + token);
    request.setRawHeader("Accept", "application/json");
    // Whatever sends this request again (Qt's network access repeats a
    // request whose connection dropped unanswered), the service carries the
    // command out once.
    request.setRawHeader("Idempotency-Key", QUuid::createUuid().toByteArray(QUuid::WithoutBraces));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    const int timeoutMs = all ? kAllRoomsTimeoutMs : kRoomTimeoutMs;
    request.setTransferTimeout(timeoutMs);
#if QT_CONFIG(ssl)
    if (!caFile.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(caFile)); // checked before
        request.setSslConfiguration(tls);
    }
#endif

    qCDebug(lcWeb).noquote() << "POST" << url.toDisplayString() << "for"
                             << CommandResolver::Name(command);
    QNetworkAccessManager network;
    QByteArray groups;
    if (group) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        groups = QJsonDocument(QJsonObject{{"groups", QJsonArray{room.mid(1)}}})
                     .toJson(QJsonDocument::Compact);
    }
    QNetworkReply* reply = network.post(request, groups);
    QEventLoop wait;
    QObject::connect(reply, &QNetworkReply::finished, &wait, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received) {
        if (received > kMaxAnswerBytes)
            reply->abort();
    });
    wait.exec();
    reply->deleteLater();

    const int http = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->read(kMaxAnswerBytes);
    const QString said = errorOf(body);
    qCDebug(lcWeb).noquote() << "answer" << http << reply->errorString();
    if (http == 0) {
        if (reply->error() == QNetworkReply::OperationCanceledError)
            return {SendCommand::LineFailed, tr("the server %1 did not answer within %2 s")
                                                 .arg(serverName())
                                                 .arg(timeoutMs / 1000)};
        return {SendCommand::LineFailed,
                tr("the server %1 cannot be reached: %2").arg(serverName(), reply->errorString())};
    }
    switch (http) {
    case 200:
        break;
    case 401:
        return {SendCommand::LineFailed,
                tr("the server %1 refused the token: check LUMO_TOKEN or --token-file")
                    .arg(serverName())};
    case 404:
        return {SendCommand::UsageError,
                tr("the server %1 knows no room \"%2\" (%3)").arg(serverName(), room, said)};
    case 429: // too many failed attempts, or too many checks at once
        return {SendCommand::LineFailed,
                tr("the server %1 refuses this computer for now: %2").arg(serverName(), said)};
    case 503:
        return {SendCommand::LineFailed, tr("room %1: %2").arg(room, said)};
    default:
        return {SendCommand::LineFailed, tr("the server %1 answered HTTP %2: %3")
                                             .arg(serverName())
                                             .arg(http)
                                             .arg(said.isEmpty() ? reply->errorString() : said)};
    }

    const QJsonObject answer = QJsonDocument::fromJson(body).object();
    const QString letter(QLatin1Char(command.letter));
    const auto unrecorded = [&](qsizetype rooms) {
        if (rooms == 0)
            return QString();
        if (!all)
            return tr("room %1 took %2, but the server %3 could not record it in its history")
                .arg(room, CommandResolver::Name(command), serverName());
        return tr("%1 of the rooms that took %2 could not be recorded in the history of the server %3")
            .arg(rooms)
            .arg(CommandResolver::Name(command), serverName());
    };
    const auto recorded = [](const QJsonObject& result) {
        return result.value(QLatin1String("recorded")).toBool(true);
    };
    if (!all) {
        if (answer.value(QLatin1String("sent")).toString() == letter)
            return {SendCommand::Sent, {}, unrecorded(recorded(answer) ? 0 : 1)};
        return {
            SendCommand::LineFailed,
            tr("the server %1 did not say that room %2 took the command").arg(serverName(), room)};
    }
    const QJsonArray results = answer.value(QLatin1String("results")).toArray();
    QStringList failed;
    qsizetype notRecorded = 0;
    for (const QJsonValue& value : results) {
        const QJsonObject result = value.toObject();
        notRecorded += result.value(QLatin1String("sent")).toString() == letter && !recorded(result);
        const QString id = result.value(QLatin1String("room")).toString();
        if (result.value(QLatin1String("sent")).toString() != letter)
            failed << tr("room %1: %2").arg(id, result.value(QLatin1String("error")).toString());
    }
    if (results.isEmpty() && !answer.contains(QLatin1String("results")))
        return {SendCommand::LineFailed,
                tr("the server %1 gave no room's outcome").arg(serverName())};
    if (failed.isEmpty())
        return {SendCommand::Sent, {}, unrecorded(notRecorded)};
    return {SendCommand::LineFailed,
            tr("%n of %1 rooms did not take %2:", nullptr, int(failed.size()))
                    .arg(results.size())
                    .arg(CommandResolver::Name(command)) +
                QLatin1Char('\n') + failed.join(QLatin1Char('\n'))};
}
