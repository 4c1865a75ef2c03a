#pragma once

#include "seriallink.h"

#include <QByteArray>

#include <optional>

class WaitClock;

// One exchange that waits in full: the request goes out, reception opens,
// the wait clock runs one unit whatever arrives (a complete reply does not
// end it early), and bytes still inside their quiet time are taken, so that
// the reply buffer holds all that came. Judging what stands there is the
// caller's, and so is any repetition. Reception stays open after the
// exchange until closeReception(): late bytes are then stored, and the next
// exchange writes over them from slot 1 on.
class WaitedExchange
{
public:
    enum class End
    {
        Judge,      // the wait ran its length: judge the reply buffer
        LinkFailed, // the request could not be sent, or the port failed during the wait
        Stopped,    // the wait was refused or cut off: the window is closing, and
                    // this object may be gone with it
    };

    // Uses the link and the clock and owns neither.
    WaitedExchange(SerialLink &link, WaitClock &clock) : m_link(link), m_clock(clock) {}

    End Run(const QByteArray &request);
    // Bytes that arrive from now on wait in the port until the next exchange.
    void closeReception() { m_reception.reset(); }

private:
    SerialLink &m_link;
    WaitClock &m_clock;
    std::optional<ReceptionGate> m_reception;
};
