#include "serve/history/RefusalSummary.h"

#include "control/CommandResult.h"

namespace
{
bool summed(const QString& code)
{
    using Code = CommandResult::Code;
    return code == CommandResult::CodeName(Code::UnknownCommand) ||
           code == CommandResult::CodeName(Code::NoSuchRoom);
}

void note(QStringList& list, const QString& value)
{
    if (list.size() < RefusalSummary::kWordsShown && !list.contains(value))
        list.append(value);
}
} // namespace

RefusalSummary::RefusalSummary(Add add) : m_add(std::move(add))
{
    m_minute.setInterval(int(kMinuteMs));
    QObject::connect(&m_minute, &QTimer::timeout, [this] { Flush(); });
}

RefusalSummary::~RefusalSummary()
{
    Flush();
}

bool RefusalSummary::Take(const HistoryRecord& record)
{
    if (!summed(record.code))
        return false;
    QString key = record.face + QLatin1Char('\n') + record.who + QLatin1Char('\n') + record.code;
    if (!m_counts.contains(key) && m_counts.size() >= kMaxSources)
        key = record.code; // "other sources"
    if (!m_minute.isActive())
        m_minute.start();
    const auto found = m_counts.find(key);
    if (found == m_counts.end()) { // the first of its minute: as it is
        Count& count = m_counts[key];
        count.first = record;
        if (key == record.code)
            count.first.who = QStringLiteral("other sources");
        return false;
    }
    ++found->count;
    found->first.at = record.at;
    note(found->words, record.command);
    note(found->rooms, record.room);
    return true;
}

void RefusalSummary::Flush()
{
    m_minute.stop();
    const QHash<QString, Count> counts = std::exchange(m_counts, {});
    for (const Count& count : counts) {
        if (count.count == 0)
            continue;
        HistoryRecord row = count.first;
        {
            const auto more = [](const QStringList& list) {
                return list.join(QStringLiteral(", ")) +
                       (list.size() >= kWordsShown ? QStringLiteral(", …") : QString());
            };
            row.room = count.rooms.size() == 1 ? count.rooms.first() : QStringLiteral("*");
            row.command = count.words.size() == 1 ? count.words.first() : QStringLiteral("*");
            row.message = QStringLiteral("%1 more refused within the minute: %2 (commands %3; rooms %4)")
                              .arg(count.count)
                              .arg(count.first.message.left(200), more(count.words),
                                   more(count.rooms))
                              .left(1024);
        }
        m_add(row);
    }
}
