// Files that hold a secret: a TLS key, a broker's password, a token. Like
// ssh with its keys, Lumo refuses one that other users may read or change.
// Under systemd a service gets such files as credentials (LoadCredential=,
// copies only it can read, in $CREDENTIALS_DIRECTORY), so the originals
// can stay the superuser's own.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <optional>

class SecretFile
{
    Q_DECLARE_TR_FUNCTIONS(SecretFile)

public:
    // The file to read for `path`: the credential of the same file name
    // when the program runs with credentials and has that one, else `path`.
    static QString Locate(const QString& path);
    // Why `path` cannot hold a secret (other users may read or change it),
    // naming the file and the fix; nullopt when it can (always on Windows,
    // whose access lists Lumo does not read).
    static std::optional<QString> Exposed(const QString& path);
    // Whether every user may read `path` (a file of password hashes).
    static bool EveryoneReads(const QString& path);
};
