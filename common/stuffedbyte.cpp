#include "stuffedbyte.h"

#include "replybuffer.h"

namespace {
int TakeFromBuffer(Stuffing reading, const ReplyBuffer &buffer, int &readPosition,
                   int &runningChecksum)
{
    const auto slot = [&buffer](int n) {
        return std::optional<int>(buffer.slot(n));
    };
    return TakeStuffedByte(reading, slot, readPosition, runningChecksum).value_or(0);
}
} // namespace

int TakeReplyByte(const ReplyBuffer &buffer, int &readPosition, int &runningChecksum)
{
    return TakeFromBuffer(Stuffing::AsItStands, buffer, readPosition, runningChecksum);
}

int TakeRegisterByte(const ReplyBuffer &buffer, int &readPosition, int &runningChecksum)
{
    return TakeFromBuffer(Stuffing::Assumed, buffer, readPosition, runningChecksum);
}
