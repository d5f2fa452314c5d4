#include "serve/config/Duration.h"

#include <QRegularExpression>

std::optional<qint64> Duration::Seconds(const QString& value)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,9})\\s*([smhd]?)$"));
    const QRegularExpressionMatch match = pattern.match(value.trimmed().toLower());
    if (!match.hasMatch())
        return std::nullopt;
    static constexpr qint64 kUnits[] = {1, 60, 3600, 86400};
    const QString unit = match.captured(2);
    return match.captured(1).toLongLong() *
           (unit.isEmpty() ? 1 : kUnits[QStringLiteral("smhd").indexOf(unit)]);
}
