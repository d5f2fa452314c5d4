// Whether a secret someone gave is the one expected, in a time that does not
// depend on where they differ: every byte of `expected` is looked at,
// whatever `given` is. An empty `expected` matches nothing.
#pragma once

#include <QByteArrayView>

inline bool SameSecret(QByteArrayView expected, QByteArrayView given)
{
    unsigned difference = unsigned(given.size() != expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const char other = i < given.size() ? given[i] : char(0);
        difference |= unsigned(static_cast<unsigned char>(expected[i] ^ other));
    }
    return difference == 0 && !expected.isEmpty();
}
