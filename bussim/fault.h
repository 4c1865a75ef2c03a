#pragma once

#include <QString>

#include <optional>
#include <random>

namespace bussim {

// A fault a simulated controller puts into its replies, for rehearsing the
// tools' reactions to a bus that misbehaves.
struct Fault
{
    // The longest pause a fault puts into a reply, in milliseconds: a delay,
    // a split's gap. Several delays of one controller add up to no more.
    static constexpr int MaxPauseMs = 60'000;
    // The most replies a fault with a count spoils.
    static constexpr int MaxCount = 1'000'000;

    enum class Kind
    {
        Silent,        // no reply at all
        BadChecksum,   // the checksum byte is `value` too high (one when 0)
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

// The number `text` gives when it lies from `least` to `most`; otherwise
// nothing, and the message "NAME takes a number from LEAST to MOST" that
// every bound of bussim's options and files is told with.
std::optional<int> BoundedNumber(const QString &name, const QString &text, int least, int most,
                                 QString *error, int base = 10);

// The fault in its text form: "silent", "bad-checksum", "bad-checksum=255" (one
// too low), "split=5", "split=5:gap=40",
// "foreign", "other-register", "other-address", "reply-code=06" (hex), "delay=30",
// each optionally followed by ":count=N". Refused with a message on a number
// out of its bounds: a byte for a split's place, a checksum's offset and a
// reply code; MaxPauseMs for a delay and a gap; MaxCount for a count.
std::optional<Fault> ParseFault(const QString &text, QString *error = nullptr);
QString FaultText(const Fault &fault);

// Faults at random over the whole network, for soaking a tool in a bus that
// misbehaves now and then. Each reply is spoiled, with a chance of `percent`
// in a hundred, by one fault drawn from: silence, a split at a random byte
// with a random pause, other traffic first, a wrong checksum and, for a
// register read, the next register. The draws come from their own generator
// seeded with `seed`, so the same seed and the same requests give the same
// faults on every run and every machine.
struct RandomFaultSettings
{
    quint32 seed = 0;
    int percent = 0;
    int minGapMs = 10; // pause between the pieces of a split reply
    int maxGapMs = 60;
};

class RandomFaults
{
public:
    explicit RandomFaults(const RandomFaultSettings &settings)
        : m_settings(settings), m_engine(settings.seed)
    {}

    const RandomFaultSettings &settings() const { return m_settings; }

    // The fault for the next reply of `replyLength` bytes, or nothing when it
    // goes out whole. Only a register read can be answered for another register.
    std::optional<Fault> draw(int replyLength, bool registerRead);

private:
    // A number from 0 to n - 1 straight from the generator, whose sequence the
    // language fixes (the library's distributions differ between platforms).
    int below(int n);

    RandomFaultSettings m_settings;
    std::mt19937 m_engine;
};

// "SEED:PERCENT" or "SEED:PERCENT:gap=MIN-MAX" (milliseconds, up to
// Fault::MaxPauseMs).
std::optional<RandomFaultSettings> ParseRandomFaults(const QString &text, QString *error = nullptr);

} // namespace bussim
