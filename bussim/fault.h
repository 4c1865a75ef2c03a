#pragma once

#include <QString>

#include <optional>

namespace bussim {

// A fault a simulated controller puts into its replies, for rehearsing the
// tools' reactions to a bus that misbehaves.
struct Fault
{
    enum class Kind
    {
        Silent,        // no reply at all
        BadChecksum,   // the checksum byte is one too high
        Split,         // the reply goes out in two pieces: `value` bytes, a gap, the rest
        Foreign,       // other traffic (not starting with F8) comes first, then the reply
        OtherRegister, // a register read is answered with the next register, rightly summed
        OtherAddress,  // the reply carries the next address
        ReplyCode,     // the reply carries reply code `value`
        Delay,         // the reply comes `value` ms late
    };

    Kind kind = Kind::Silent;
    int value = 0;
    int gapMs = 30; // pause between the pieces of a split reply
    int count = -1; // replies still to be spoiled; -1 for all of them
};

// The fault in its text form: "silent", "bad-checksum", "split=5", "split=5:gap=40",
// "foreign", "other-register", "other-address", "reply-code=06" (hex), "delay=30",
// each optionally followed by ":count=N".
std::optional<Fault> ParseFault(const QString &text, QString *error = nullptr);
QString FaultText(const Fault &fault);

} // namespace bussim
