#include "replycheck.h"

#include "registerframe.h"
#include "replybuffer.h"
#include "stuffedbyte.h"

#include <algorithm>

std::optional<RegisterValues> RegisterReply(const ReplyBuffer &buffer, int receiveOffset,
                                            int address, int registerNumber, int *checksumSlot)
{
    // The register number in the reply must be the one requested; a data
    // byte F0 counts the stuffing byte after it as it stands.
    const RegisterReplyJudgement judgement =
        JudgeRegisterReply(buffer, receiveOffset, address, registerNumber,
                           RegisterNumberRule::Compared, TakeReplyByte);
    if (checksumSlot != nullptr)
        *checksumSlot = judgement.checksumSlot;
    if (judgement.verdict != RegisterVerdict::Ok)
        return std::nullopt;
    RegisterValues values{};
    std::ranges::transform(judgement.data, values.begin(),
                           [](int d) { return static_cast<qint16>(d); });
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
