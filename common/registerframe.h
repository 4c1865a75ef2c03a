#pragma once

#include <QByteArray>

#include <array>
#include <optional>

class ReplyBuffer;

// The frames of a register transfer. A register is eight bytes; it is read
// with command 07 and written with command 08. The register number goes
// unstuffed with the header but counts in the checksum.

// F0, address, 07, n, checksum: nothing in it is stuffed. Empty when the
// address or the number is not a byte.
std::optional<QByteArray> ReadRegisterRequest(int address, int registerNumber);
// F0, address, 08, n, the eight cells under the stuffing rule, checksum.
// Empty when any value is not a byte: such a frame never goes on the wire.
std::optional<QByteArray> WriteRegisterRequest(int address, int registerNumber,
                                               const std::array<int, 8> &cells);

// How the reply to a register read is tied to the register requested.
enum class RegisterNumberRule
{
    // The number the reply carries in slot 4 is not compared: the checksum
    // is taken with the number requested instead, so that a reply for
    // another register fails the checksum (the register engine).
    SummedAsRequested,
    // Slot 4 must hold the number requested, or the reply is not the one
    // awaited whatever its checksum (sysload).
    Compared,
};

enum class RegisterVerdict
{
    NothingReceived,  // receiveOffset 0
    NotThisReply,     // not F8, this address, 07 (and the number, when compared)
    ChecksumMismatch, // the checksum byte disagrees with the sum
    Ok,
};

struct RegisterReplyJudgement
{
    RegisterVerdict verdict = RegisterVerdict::NothingReceived;
    std::array<int, 8> data{}; // unstuffed; they count only when Ok
    int checksumSlot = 0;      // where the checksum was read: 13 without stuffing, up to 21
};

// One of the readings of a reply byte in stuffedbyte.h: TakeReplyByte or
// TakeRegisterByte.
using ReplyByteReader = int (*)(const ReplyBuffer &buffer, int &readPosition, int &runningChecksum);

// Judges the reply to a read of register `registerNumber` of `address` as it
// stands in the reply buffer: F8, address, 07, the register number, the
// eight data bytes from slot 5 on as `takeByte` reads them, and the checksum
// of everything from the address on. receiveOffset 0 means nothing was
// received.
RegisterReplyJudgement JudgeRegisterReply(const ReplyBuffer &buffer, int receiveOffset, int address,
                                          int registerNumber, RegisterNumberRule numberRule,
                                          ReplyByteReader takeByte);
