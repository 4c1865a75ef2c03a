#include "replycheck.h"

#include "replybuffer.h"

std::optional<RegisterValues> RegisterReply(const ReplyBuffer &buffer, int receiveOffset,
                                            int address, int registerNumber, int *checksumSlot)
{
    if (receiveOffset == 0 || buffer.slot(1) != ReplyStart || buffer.slot(2) != address ||
        buffer.slot(3) != ReplyRegisterBlock || buffer.slot(4) != registerNumber)
        return std::nullopt;
    int checksum = address + ReplyRegisterBlock + registerNumber;
    int position = 5;
    RegisterValues values{};
    for (qint16 &value : values)
        value = static_cast<qint16>(TakeReplyByte(buffer, position, checksum));
    if (checksumSlot != nullptr)
        *checksumSlot = position;
    if (buffer.slot(position) != ReduceChecksum(checksum))
        return std::nullopt;
    return values;
}

std::optional<RegisterValues> RegisterReply(const QByteArray &received, int address,
                                            int registerNumber)
{
    ReplyBuffer buffer;
    const int offset = buffer.place(0, received);
    int checksumSlot = 0;
    const std::optional<RegisterValues> values = RegisterReply(
        buffer, received.isEmpty() ? 0 : offset, address, registerNumber, &checksumSlot);
    if (!values || checksumSlot > received.size())
        return std::nullopt;
    return values;
}

bool IsAcknowledgement(const QByteArray &received, int address)
{
    ReplyBuffer buffer;
    const int offset = buffer.place(0, received.left(ReplyBuffer::ReceiveLimit));
    return received.size() >= 3 && IsAcknowledgement(buffer, offset, address);
}
