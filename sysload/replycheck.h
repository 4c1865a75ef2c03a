#pragma once

#include "busframe.h"
#include "systemimage.h"

#include <QByteArray>

#include <optional>

class ReplyBuffer;

// The two checks the loader makes of a reply, in one place for the runs that
// wait in full and for the quick exchange that judges a reply as it comes in.
// A write's acknowledgement in the reply buffer is the bus's own check
// (IsAcknowledgement() of busframe.h), which every tool's write makes.

// A register reply: F8, address, 07, the register number, eight data bytes
// (each F0 followed by a stuffing byte, taken as it stands), checksum, as it
// stands in the reply buffer after a wait. The values when every check
// holds. `checksumSlot`, when given, receives the slot the checksum was read
// from (13 for a reply without stuffing, up to 21).
std::optional<RegisterValues> RegisterReply(const ReplyBuffer &buffer, int receiveOffset,
                                            int address, int registerNumber,
                                            int *checksumSlot = nullptr);

// The same checks over bytes received in a row from the first byte after the
// request. A register reply counts only once its checksum byte is among the
// bytes: the front of a longer reply never passes for a whole one.
std::optional<RegisterValues> RegisterReply(const QByteArray &received, int address,
                                            int registerNumber);
bool IsAcknowledgement(const QByteArray &received, int address);
