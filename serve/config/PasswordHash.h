// Salted, slow password and token hashes for the campus service's [users]
// and [tokens]: PBKDF2 with SHA-256, written as
//   pbkdf2-sha256$ROUNDS$SALT$KEY   (salt and key in base64)
#pragma once

#include <QByteArrayView>
#include <QString>

class PasswordHash
{
public:
    static constexpr int kRounds = 100'000;
    // Inputs longer than this are refused before any hashing is done.
    static constexpr qsizetype kMaxSecretBytes = 1024;

    // A new hash of `secret` with a fresh random salt.
    static QString Make(QByteArrayView secret);
    // Whether `hash` has the form above with at least kRounds rounds.
    static bool IsWellFormed(const QString& hash);
    // Whether `secret` is what `hash` was made from; compared in constant time.
    static bool Verify(const QString& hash, QByteArrayView secret);
};
