#include "serial/InputBuffer.h"

#include <algorithm>
#include <utility>

void InputBuffer::SetLimit(qint64 bytes)
{
    m_limit = std::max<qint64>(0, bytes);
    if (m_data.size() > m_limit) {
        m_data.truncate(m_limit);
        m_overrun = true;
    }
}

void InputBuffer::Append(QByteArrayView data)
{
    const qint64 room = std::max<qint64>(0, m_limit - m_data.size());
    if (data.size() > room)
        m_overrun = true;
    m_data.append(data.first(std::min<qint64>(room, data.size())));
}

QByteArray InputBuffer::Take(qint64 maxSize)
{
    const qint64 n = maxSize > 0 ? std::min<qint64>(maxSize, m_data.size()) : m_data.size();
    QByteArray out = m_data.first(n);
    m_data.remove(0, n);
    return out;
}

void InputBuffer::Reset()
{
    m_data.clear();
    m_overrun = false;
}

bool InputBuffer::TakeOverrun()
{
    return std::exchange(m_overrun, false);
}
