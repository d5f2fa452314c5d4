#include "PixelMap.h"

#include <QColor>
#include <QFile>
#include <QList>
#include <QRegularExpression>

namespace
{
bool readLines(const QString& path, QStringList* lines, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("%1: cannot open").arg(path);
        return false;
    }
    *lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    return true;
}
} // namespace

bool PixelMap::ParseLegendLine(const QString& line, QHash<QChar, QRgb>* legend)
{
    static const QRegularExpression entry(QStringLiteral("^(\\S) = #([0-9a-fA-F]{6})\\s*$"));
    const QRegularExpressionMatch m = entry.match(line);
    if (!m.hasMatch())
        return false;
    legend->insert(m.captured(1).at(0), 0xff000000u | m.captured(2).toUInt(nullptr, 16));
    return true;
}

bool PixelMap::ReadLegend(const QString& path, QHash<QChar, QRgb>* legend, QString* error)
{
    QStringList lines;
    if (!readLines(path, &lines, error))
        return false;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (!ParseLegendLine(line, legend)) {
            *error = QStringLiteral("%1:%2: not a legend line").arg(path).arg(n + 1);
            return false;
        }
    }
    return true;
}

QImage PixelMap::Read(const QString& path, const QHash<QChar, QRgb>& common, QString* error)
{
    QStringList lines;
    if (!readLines(path, &lines, error))
        return {};
    QHash<QChar, QRgb> legend = common;
    QList<QPair<int, QString>> rows;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.contains(QLatin1String(" = "))) {
            if (!ParseLegendLine(line, &legend)) {
                *error = QStringLiteral("%1:%2: bad legend line").arg(path).arg(n + 1);
                return {};
            }
            continue;
        }
        rows.append({int(n + 1), line});
    }
    if (rows.isEmpty()) {
        *error = QStringLiteral("%1: no pixel rows").arg(path);
        return {};
    }
    const qsizetype width = rows.first().second.size();
    QImage image(int(width), int(rows.size()), QImage::Format_ARGB32);
    image.fill(0);
    for (qsizetype y = 0; y < rows.size(); ++y) {
        const auto& [lineNo, row] = rows[y];
        if (row.size() != width) {
            *error = QStringLiteral("%1:%2: row is %3 wide, expected %4")
                         .arg(path)
                         .arg(lineNo)
                         .arg(row.size())
                         .arg(width);
            return {};
        }
        for (qsizetype x = 0; x < width; ++x) {
            const QChar c = row.at(x);
            if (c == QLatin1Char('.'))
                continue;
            const auto it = legend.constFind(c);
            if (it == legend.constEnd()) {
                *error = QStringLiteral("%1:%2: no colour for '%3'").arg(path).arg(lineNo).arg(c);
                return {};
            }
            image.setPixel(int(x), int(y), *it);
        }
    }
    return image;
}
