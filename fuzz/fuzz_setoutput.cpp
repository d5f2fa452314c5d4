// Output's argument handling on any value: text, bytes or another type,
// sent to a control open on a pseudo-terminal and to one that is closed.
// Either the call throws CommError and nothing goes out, or exactly the
// expected bytes arrive at the far end: the bytes themselves, or each
// character of text as one byte when all of them fit in one.
#include "Pty.h"
#include "serial/CMSComm.h"
#include "serial/CommError.h"

#include <QCoreApplication>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <poll.h>
#include <unistd.h>

namespace
{
constexpr std::size_t kMaxSize = 2048; // well inside the terminal's buffer

int master = -1;
CMSComm* open = nullptr;
CMSComm* closed = nullptr;

// What the far end has, waiting up to `wantMs` for `want` bytes.
QByteArray drain(qsizetype want, int wantMs)
{
    QByteArray got;
    char buf[4096];
    pollfd p{master, POLLIN, 0};
    while (::poll(&p, 1, got.size() < want ? wantMs : 0) > 0) {
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, n);
    }
    return got;
}

// The value to send, and in `expected` the bytes it must give (none: it must throw).
QVariant build(const std::uint8_t* data, std::size_t size, std::optional<QByteArray>& expected)
{
    const char* text = reinterpret_cast<const char*>(data + 1);
    const auto n = qsizetype(size - 1);
    QString s;
    switch (data[0] % 5) {
    case 0:
        expected = QByteArray(text, n);
        return QByteArray(text, n);
    case 1:
        s = QString::fromUtf8(text, n);
        break;
    case 2:
        s = QString::fromLatin1(text, n);
        break;
    case 3:
        s.resize(n / 2);
        std::memcpy(s.data(), text, std::size_t(n / 2 * 2));
        break;
    default:
        expected.reset();
        return data[0] & 8 ? QVariant(QStringList{QString::fromLatin1(text, n)}) : QVariant(int(n));
    }
    if (std::any_of(s.begin(), s.end(), [](QChar c) { return c.unicode() > 0xFF; }))
        expected.reset();
    else
        expected = s.toLatin1();
    return s;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv); // the port's notifiers want one
    static Pty pty;
    if (!pty.isValid())
        std::abort();
    master = pty.masterFd();
    ::setenv("LUMO_COM1", qPrintable(pty.slavePath()), 1);
    open = new CMSComm;
    open->SetPortOpen(true);
    closed = new CMSComm;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > kMaxSize)
        return 0;
    std::optional<QByteArray> expected;
    const QVariant value = build(data, size, expected);

    bool threw = false;
    try {
        open->SetOutput(value);
    } catch (const CommError& e) {
        threw = true;
        if (expected || e.code() != CommErrorCode::InvalidPropertyValue)
            std::abort(); // a good value refused, or a bad one for the wrong reason
    }
    if (threw != !expected)
        std::abort(); // a bad value accepted
    if (drain(expected ? expected->size() : 0, 2000) != expected.value_or(QByteArray()))
        std::abort(); // bytes lost, changed or sent for a refused value

    try {
        closed->SetOutput(value);
        std::abort(); // a closed port takes nothing
    } catch (const CommError& e) {
        if (e.code() !=
            (expected ? CommErrorCode::PortNotOpen : CommErrorCode::InvalidPropertyValue))
            std::abort();
    }
    return 0;
}
