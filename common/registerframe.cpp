#include "registerframe.h"

#include "busframe.h"
#include "replybuffer.h"

namespace {
// Slot of the first data byte of a register reply: after F8, the address,
// the reply code and the register number.
constexpr int FirstDataSlot = 5;
} // namespace

std::optional<QByteArray> ReadRegisterRequest(int address, int registerNumber)
{
    return FrameBuilder(RequestStart, address, ReadRegisterBlock).raw(registerNumber).finish();
}

std::optional<QByteArray> WriteRegisterRequest(int address, int registerNumber,
                                               const std::array<int, 8> &cells)
{
    FrameBuilder frame(RequestStart, address, WriteRegisterBlock);
    frame.raw(registerNumber);
    for (int cell : cells)
        frame.stuffed(cell);
    return frame.finish();
}

RegisterReplyJudgement JudgeRegisterReply(const ReplyBuffer &buffer, int receiveOffset, int address,
                                          int registerNumber, RegisterNumberRule numberRule,
                                          ReplyByteReader takeByte)
{
    RegisterReplyJudgement judgement;
    if (receiveOffset == 0)
        return judgement;
    judgement.verdict = RegisterVerdict::NotThisReply;
    if (buffer.slot(1) != ReplyStart || buffer.slot(2) != address ||
        buffer.slot(3) != ReplyRegisterBlock)
        return judgement;
    if (numberRule == RegisterNumberRule::Compared && buffer.slot(4) != registerNumber)
        return judgement;
    int checksum = address + ReplyRegisterBlock + registerNumber;
    int position = FirstDataSlot;
    for (int &d : judgement.data)
        d = takeByte(buffer, position, checksum);
    judgement.checksumSlot = position;
    judgement.verdict = buffer.slot(position) == ReduceChecksum(checksum)
                            ? RegisterVerdict::Ok
                            : RegisterVerdict::ChecksumMismatch;
    return judgement;
}
