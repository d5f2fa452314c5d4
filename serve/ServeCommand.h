// `lumo serve [--config FILE]`: the campus service, with no display. It
// serves every room of its configuration until SIGTERM or SIGINT, and reads
// the configuration again on SIGHUP. `--check` only checks the
// configuration; `--hash-password` prints the hash of a password read from
// standard input, for [users] and [tokens].
//
// Exit status: 0 done; 2 a usage or configuration error (nothing started).
#pragma once

#include <QCoreApplication>
#include <QStringList>

class QTextStream;

class ServeCommand
{
    Q_DECLARE_TR_FUNCTIONS(ServeCommand)

public:
    enum Status { Done = 0, Failed = 1, UsageError = 2 };

    // `arguments` as after "lumo": "serve", then its options. Runs the
    // application's event loop while serving.
    static int Run(const QStringList& arguments, QTextStream& in, QTextStream& out,
                   QTextStream& err);
};
