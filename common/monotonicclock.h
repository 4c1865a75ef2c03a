#pragma once

#include <QtGlobal>

#include <chrono>

// Microseconds on the machine's monotonic clock. bussim's log, a tool's
// exchange log and the bench all stamp their lines with it, so that their
// times can be laid side by side. Header only: the bench's programs take it
// without linking the bus code.
inline qint64 MonotonicMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
