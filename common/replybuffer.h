#pragma once

#include <QByteArray>

#include <array>

// The slots into which the receive handler stores the bytes of a reply.
// Slots are numbered 1 to 32 as the bus code counts them; reception writes
// slots 1 to 24 only. Nothing clears them between exchanges: a slot that the
// current reply does not reach keeps what an earlier reception put there.
class ReplyBuffer
{
public:
    static constexpr int SlotCount = 32;
    static constexpr int ReceiveLimit = 24;
    static constexpr int EventBlock = 8;
    // While the offset is below this, a receive event moves it on by EventBlock.
    static constexpr int OffsetCeiling = 20;

    // Value of slot n (1..32); 0 for a slot number outside the buffer.
    int slot(int n) const;
    void setSlot(int n, int value);

    // Stores the bytes of one receive event from slot receiveOffset + 1 on,
    // never beyond slot 24, and returns the offset for the next event: one
    // eight-slot block further, whatever the number of bytes (none included),
    // as long as the offset is below 20.
    int place(int receiveOffset, const QByteArray &bytes);

private:
    std::array<int, SlotCount> m_slots{};
};
