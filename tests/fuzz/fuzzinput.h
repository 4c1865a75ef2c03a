#pragma once

// What every fuzz target shares: the entry point with one QCoreApplication
// for the whole process, the script read from the input, the check that stops
// on a broken promise, receive events and well-formed replies cut from the
// script. A target defines only FuzzOne().
#include "busframe.h"
#include "fakebusport.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

// A promise of the code under test that the input has broken: say which and
// stop, so that libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__,          \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// The input read from the front as a script: control bytes and runs of bus
// bytes. Past the end every read gives 0 or nothing, so every input is a
// whole script.
class FuzzInput
{
public:
    FuzzInput(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

    bool atEnd() const { return m_pos >= m_size; }
    int byte() { return atEnd() ? 0 : m_data[m_pos++]; }
    QByteArray take(int count)
    {
        const std::size_t n = std::min(m_size - m_pos, static_cast<std::size_t>(count));
        QByteArray bytes(reinterpret_cast<const char *>(m_data + m_pos), static_cast<qsizetype>(n));
        m_pos += n;
        return bytes;
    }
    QByteArray rest() { return take(static_cast<int>(m_size - m_pos)); }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

void FuzzOne(FuzzInput &in);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Timers, queued calls and event loops need the application object; it
    // lives as long as the process.
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    [[maybe_unused]] static const auto *app = new QCoreApplication(argc, argv);
    FuzzInput in(data, size);
    FuzzOne(in);
    return 0;
}

// Receive events cut from the input: up to maxEvents runs of 0..31 bytes, so
// that a reply can come whole, in pieces of any size, or not at all.
inline QList<QByteArray> TakeEvents(FuzzInput &in, int maxEvents)
{
    QList<QByteArray> events;
    const int count = in.byte() % (maxEvents + 1);
    for (int i = 0; i < count; ++i)
        events.append(in.take(in.byte() % 32));
    return events;
}

// A reply built by the frame rules: its payload starts with `payload` and is
// filled up to the reply code's length from the input.
struct BuiltReply
{
    QByteArray wire; // empty when a given value lies outside a byte
    QList<int> payload;
};
inline BuiltReply BuildReply(FuzzInput &in, int address, int code, QList<int> payload = {})
{
    while (payload.size() < ReplyPayloadLength(code).value_or(0))
        payload.append(in.byte());
    FrameBuilder frame(ReplyStart, address, code);
    for (int value : payload)
        frame.stuffed(value);
    return {frame.finish().value_or(QByteArray()), payload};
}

inline bool IsReceiveOffset(int offset)
{
    return offset == 0 || offset == 8 || offset == 16 || offset == 24;
}

// Every value one a byte can carry.
template <typename Values> bool AllBytes(const Values &values)
{
    return std::all_of(values.begin(), values.end(), [](int v) { return v >= 0 && v <= 0xFF; });
}
