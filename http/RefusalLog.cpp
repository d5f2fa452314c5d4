#include "http/RefusalLog.h"

#include "control/Logging.h"
#include "http/RemoteAccess.h"

RefusalLog::RefusalLog()
{
    m_minute.setInterval(int(kMinuteMs));
    QObject::connect(&m_minute, &QTimer::timeout, [this] { Summarize(); });
}

bool RefusalLog::Count(const QHostAddress& from)
{
    if (!m_minute.isActive())
        m_minute.start();
    const QHostAddress address = RemoteAccess::Own(from);
    if (!m_perAddress.contains(address) && m_perAddress.size() >= kMaxAddresses) {
        ++m_others;
        return false;
    }
    return ++m_perAddress[address] <= kLoggedPerMinute;
}

void RefusalLog::Summarize()
{
    for (auto it = m_perAddress.cbegin(); it != m_perAddress.cend(); ++it)
        if (it.value() > kLoggedPerMinute)
            qCInfo(lcWeb).noquote() << "refused" << it.key().toString()
                                    << it.value() - kLoggedPerMinute
                                    << "more times in the last minute";
    if (m_others > 0)
        qCInfo(lcWeb).noquote() << "refused other addresses" << m_others
                                << "times in the last minute";
    m_perAddress.clear();
    m_others = 0;
    m_minute.stop(); // started again by the next refusal
}
