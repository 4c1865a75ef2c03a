#include "replybuffer.h"

#include <cstddef>

namespace {
bool InBuffer(int n)
{
    return n >= 1 && n <= ReplyBuffer::SlotCount;
}
} // namespace

int ReplyBuffer::slot(int n) const
{
    return InBuffer(n) ? m_slots[static_cast<std::size_t>(n - 1)] : 0;
}

void ReplyBuffer::setSlot(int n, int value)
{
    if (InBuffer(n))
        m_slots[static_cast<std::size_t>(n - 1)] = value;
}

int ReplyBuffer::place(int receiveOffset, const QByteArray &bytes)
{
    for (qsizetype i = 1; i <= bytes.size(); ++i) {
        const qsizetype target = receiveOffset + i;
        if (target > ReceiveLimit)
            break;
        setSlot(static_cast<int>(target), static_cast<quint8>(bytes[i - 1]));
    }
    return receiveOffset < OffsetCeiling ? receiveOffset + EventBlock : receiveOffset;
}
