#include "serial/InputLimit.h"

QString InputLimit::Quoted(const QString& value)
{
    if (value.size() <= kQuoted)
        return value;
    const qsizetype head = kQuoted * 2 / 3;
    return value.left(head) + QChar(0x2026) + value.right(kQuoted - head - 1);
}

QString InputLimit::TooLong(const QString& what, const QString& value, qsizetype limit)
{
    return tr("%1 \"%2\" is %3 characters long; at most %4 are taken")
        .arg(what, Quoted(value))
        .arg(value.size())
        .arg(limit);
}

std::optional<QString> InputLimit::CheckArguments(const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        if (argument.size() > kArgument)
            return TooLong(tr("the argument"), argument, kArgument);
    }
    return std::nullopt;
}
