// The program's tables keep their texts as UTF-8 string views; this makes a
// QString of one. Shared by the program, its tools and its tests.
#pragma once

#include <QString>

#include <string_view>

inline QString FromUtf8(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}
