// What a device received and nobody took yet, never more than its limit:
// what arrives beyond it is dropped (the newest bytes), and the loss is
// remembered until it is asked for.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

class InputBuffer
{
public:
    // A smaller limit drops what is held beyond it, as an overrun.
    void SetLimit(qint64 bytes);
    void Append(QByteArrayView data);
    // At most maxSize bytes (0: all), oldest first, taken out.
    QByteArray Take(qint64 maxSize);
    qint64 Size() const { return m_data.size(); }
    // Drops what is held; a remembered overrun stays until asked for.
    void Clear() { m_data.clear(); }
    // Drops what is held and forgets any overrun: a new line begins.
    void Reset();
    // True once after data was dropped for want of room.
    bool TakeOverrun();

private:
    QByteArray m_data;
    qint64 m_limit = 1024;
    bool m_overrun = false;
};
