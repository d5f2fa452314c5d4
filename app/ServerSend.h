// `lumo send --server URL --room ID COMMAND...`: each command, in order, to
// one room of a campus service (`lumo serve`) or to all of its rooms (ID
// `all`), over the service's JSON interface:
//
//   POST URL/api/v1/rooms/ID/commands/LETTER   Authorization: Bearer TOKEN
//
// It stops at the first command that failed in some room. The outcome is one
// of SendCommand's statuses: Sent when every room took every command;
// LineFailed when a room's line failed (the message names the room and the
// reason), the server could not be reached or did not answer in time, or it
// refused the token; UsageError when the server knows no such room. A
// command taken that the service could not record in its history (its
// answer says "recorded": false) is still sent, and said so on `err`.
//
// It speaks HTTP through Qt Network, so it is a part of its own, the campus
// client (liblumo-client.so), which `lumo send` reaches through PartLoader
// as a ServerSendInterface.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

class QTextStream;
struct Command;

class ServerSend
{
    Q_DECLARE_TR_FUNCTIONS(ServerSend)

public:
    // The command line's values, as given.
    struct Options {
        QString server;    // --server
        QString room;      // --room
        QString caFile;    // --ca
        QString tokenFile; // --token-file (empty: LUMO_TOKEN)
    };
    // Checks the options (a usage error, with nothing sent, when one cannot
    // be used), then sends the commands in order; SendCommand's status.
    static int Run(const Options& options, const QList<const Command*>& commands,
                   QTextStream& err);

    // How long one request may wait for its answer: a room's line opens
    // within 3 s and confirms within 2 s; all rooms go a bounded number at
    // a time, so a whole campus of unreachable rooms takes a while.
    static constexpr int kRoomTimeoutMs = 30000;
    static constexpr int kAllRoomsTimeoutMs = 180000;
    // Answers longer than this are not read (a campus's results are far shorter).
    static constexpr qint64 kMaxAnswerBytes = 4 * 1024 * 1024;
    static constexpr qsizetype kMaxTokenBytes = 1024;

    QUrl server;      // http:// or https://, maybe with a path before /api
    QString room;     // a room's ID, or "all"
    QByteArray token; // for Authorization: Bearer
    QString caFile;   // certificates to trust instead of the system's, or empty

    // The checks of the command line's values; each gives the user's message
    // when the value cannot be used, and nothing is sent then.
    static std::optional<QString> CheckServer(const QString& url, QUrl& server);
    static std::optional<QString> CheckRoom(const QString& room);
    // Whether `file` holds certificates in PEM, for --ca (empty: none named).
    static std::optional<QString> CheckCertificates(const QString& file);
    // The token from `file` (its first line) when one is named, else from
    // LUMO_TOKEN.
    static std::optional<QString> ReadToken(const QString& file, QByteArray& token);

    // Sends the commands in order; the failure, if any, goes to `err`.
    int Send(const QList<const Command*>& commands, QTextStream& err) const;

private:
    struct Answer {
        int status = 0; // SendCommand::Status
        std::optional<QString> error;
        QString notRecorded = {}; // taken, but not in the service's history
    };
    Answer post(const Command& command) const;
    QString serverName() const;
};
