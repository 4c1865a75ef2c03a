#pragma once

#include "busframe.h"

#include <optional>

class ReplyBuffer;

// The readings of a stuffed payload on the bus. A data byte F0 is followed on
// the wire by a stuffing byte, which every sender makes 11; the readers
// differ in what they make of the byte that actually follows.
enum class Stuffing
{
    // Taken as it stands and counted in the checksum, whatever its value, so
    // that only the checksum decides: busprobe's and sysload's judgement of a
    // reply, and bussim's parser of a request.
    AsItStands,
    // Counted as 11 and skipped unread, whatever the controller sent there:
    // the register engine's read run.
    Assumed,
    // Must be 11, or the bytes form no frame: the exchange log's decoder,
    // which only names what it can be sure of.
    Required,
};

// Takes the data byte at `position` and, after a data byte F0, its stuffing
// byte under `reading`: both count in `checksum`, and `position` moves past
// them. `byteAt(position)` gives the byte at a position as an
// std::optional<int>, empty beyond the bytes at hand. Empty when the bytes
// end first or the reading refuses the stuffing byte; `position` and
// `checksum` are then left as they were, so that a reader that gets its bytes
// one at a time asks again when the next one has come.
template <typename Position, typename ByteAt>
std::optional<int> TakeStuffedByte(Stuffing reading, const ByteAt &byteAt, Position &position,
                                   int &checksum)
{
    const std::optional<int> value = byteAt(position);
    if (!value)
        return std::nullopt;
    Position next = position + 1;
    int sum = checksum + *value;
    if (*value == RequestStart) {
        if (reading == Stuffing::Assumed) {
            sum += StuffByte;
        } else {
            const std::optional<int> stuffing = byteAt(next);
            if (!stuffing || (reading == Stuffing::Required && *stuffing != StuffByte))
                return std::nullopt;
            sum += *stuffing;
        }
        ++next;
    }
    position = next;
    checksum = sum;
    return value;
}

// The two readings of a reply that stands in the reply buffer, from slot
// readPosition on, into runningChecksum. Every slot reads (one beyond the
// buffer reads 0), so both always give a byte.
// busprobe's and sysload's: the stuffing byte taken as it stands.
int TakeReplyByte(const ReplyBuffer &buffer, int &readPosition, int &runningChecksum);
// The register engine's: the stuffing byte counted as 11 and never read.
int TakeRegisterByte(const ReplyBuffer &buffer, int &readPosition, int &runningChecksum);
