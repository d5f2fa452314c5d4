// The settings parser on any text: it never crashes, and what it accepts is
// in range and comes back unchanged through its canonical form.
#include "serial/SerialSettings.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{
void check(QStringView text)
{
    const auto parsed = SerialSettings::Parse(text);
    if (!parsed)
        return;
    if (!QByteArrayView("neoms").contains(parsed->parity) || parsed->dataBits < 4 ||
        parsed->dataBits > 8 || parsed->baudRate < 110)
        std::abort();
    const QString canonical = parsed->ToString();
    const auto again = SerialSettings::Parse(canonical);
    if (!again || *again != *parsed || again->ToString() != canonical)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The bytes as UTF-8 text, and as raw UTF-16 (lone surrogates included).
    check(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    QString utf16(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(utf16.data(), data, size / 2 * 2);
    check(utf16);
    return 0;
}
