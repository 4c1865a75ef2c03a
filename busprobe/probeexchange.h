#pragma once

#include "busframe.h"
#include "seriallink.h"
#include "waitclock.h"
#include "waitedexchange.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

class BusPort;

// One exchange of the bus tester: send the request, wait one unit while the
// window keeps processing its events, and judge what came. While the bus
// carries another exchange (bytes came, but not a reply) the request is sent
// again, freshly composed, for at most attemptLimit waits.
class ProbeExchange : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds DefaultWaitUnit{100};
    // About five seconds of a busy bus at the default unit.
    static constexpr int DefaultAttemptLimit = 50;

    using Clock = std::function<QDateTime()>;

    // The exchange uses the port and does not own it; `clock` gives the PC's
    // date and time for a full synchronisation.
    ProbeExchange(BusPort *port, std::chrono::milliseconds waitUnit, Clock clock,
                  QObject *parent = nullptr);

    void setAttemptLimit(int limit) { m_attemptLimit = limit; }

    enum class End
    {
        Judged,      // the reply (or its absence) was judged: see judgement
        BusBusy,     // foreign traffic at every attempt
        Refused,     // a value the request sends is not a byte; nothing was sent
        PortProblem, // the port is not open or failed; nothing more was sent
        Abandoned,   // the window closed during the wait
    };
    struct Outcome
    {
        End end = End::Abandoned;
        ReplyJudgement judgement;
        QString status; // the status line text of the outcome
    };

    // Runs one exchange with targetAddress and commandCode; the values must
    // hold bytes in every field the command sends. Refused (End::Abandoned,
    // nothing sent) while another exchange waits or after shutDown(). After
    // End::Abandoned the caller must not touch its window: it may be gone.
    Outcome Run(int targetAddress, int commandCode, const RequestFields &values);

    // True while an exchange waits; a second one must not start then.
    bool isRunning() const { return m_clock.isWaiting(); }
    // Ends a running exchange at once and refuses every later one.
    void shutDown() { m_clock.shutDown(); }

    SerialLink &link() { return m_link; }
    const SerialLink &link() const { return m_link; }

signals:
    // The status line to show while the exchange goes on.
    void statusChanged(const QString &text);

private:
    SerialLink m_link;
    WaitClock m_clock;
    // Its reception, once open, is never closed: every later receive event
    // is read, also between exchanges.
    WaitedExchange m_exchange{m_link, m_clock};
    Clock m_now;
    int m_attemptLimit = DefaultAttemptLimit;
};
