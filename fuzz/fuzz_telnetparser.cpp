// The Telnet stream parser on any byte stream, as a hostile server could
// send it. Whatever the input, nothing crashes or grows without bound;
// cutting the stream into pieces anywhere changes nothing; and data that
// went through Escape comes back exactly, with no command.
#include "serial/TelnetParser.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace
{
struct Result {
    QByteArray data;
    std::vector<TelnetParser::Command> commands;
};

Result feedInPieces(QByteArrayView input, std::size_t step)
{
    TelnetParser parser;
    Result r;
    for (qsizetype at = 0; at < input.size(); at += qsizetype(step))
        parser.Feed(input.sliced(at, std::min<qsizetype>(qsizetype(step), input.size() - at)),
                    r.data, r.commands);
    return r;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t step = bytes[0] % 7 + 1;
    const QByteArrayView input(reinterpret_cast<const char*>(bytes + 1), qsizetype(size - 1));

    const Result whole = feedInPieces(input, std::size_t(input.size()) + 1);
    const Result pieces = feedInPieces(input, step);
    if (whole.data != pieces.data || whole.commands != pieces.commands)
        std::abort(); // the split changed the meaning
    if (whole.data.size() > input.size())
        std::abort(); // data from nowhere
    for (const auto& c : whole.commands)
        if (c.payload.size() > TelnetParser::kMaxSubnegotiation)
            std::abort(); // unbounded subnegotiation

    // Escaped data is read back as itself, with no command.
    Result echo;
    TelnetParser parser;
    parser.Feed(TelnetParser::Escape(input), echo.data, echo.commands);
    if (echo.data != input || !echo.commands.empty())
        std::abort();
    return 0;
}
