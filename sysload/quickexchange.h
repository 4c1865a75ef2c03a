#pragma once

#include "exacttimer.h"

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <functional>

class QEventLoop;
class SerialLink;

// The quick exchange: the request goes out and the wait ends as soon as the
// bytes received so far pass the run's own check of a reply, once the line
// has then been quiet for a pause, so that the next request never meets the
// tail of this reply. A reply that never passes the check costs the full
// wait, as in the exchange that always waits in full.
//
// The bytes of the reply are kept in a row as they come, whatever pieces the
// port hands them over in; the link's reception stays closed meanwhile, and
// its reply buffer is left alone.
class QuickExchange : public QObject
{
    Q_OBJECT
public:
    // Quiet line after the reply's last byte before the next request.
    static constexpr std::chrono::milliseconds Pause{5};
    // The port's burst gap while the quick exchange runs: each piece of a
    // reply is told at once, the pause above keeps the line's quiet time.
    static constexpr std::chrono::milliseconds BurstGap{1};

    // Whether the bytes received so far hold a good reply.
    using Check = std::function<bool(const QByteArray &received)>;

    enum class Outcome
    {
        Passed,     // a reply passed the check
        NotPassed,  // the full wait ran out without a reply that passes
        LinkFailed, // the request could not be sent, or the port failed
        Stopped,    // shut down, or destroyed during the wait
    };

    QuickExchange(SerialLink &link, std::chrono::milliseconds wait, QObject *parent = nullptr);
    ~QuickExchange() override;

    Outcome Exchange(const QByteArray &request, const Check &check);
    // The bytes received in the last exchange, in a row.
    const QByteArray &received() const { return m_received; }

    // Ends a running exchange at once and refuses every later one.
    void shutDown();

private:
    void onReceived();

    SerialLink &m_link;
    std::chrono::milliseconds m_wait;
    ExactTimer m_waitTimer;
    ExactTimer m_pauseTimer;
    QEventLoop *m_loop = nullptr;
    const Check *m_check = nullptr;
    QByteArray m_received;
    bool m_passed = false;
    bool m_shutDown = false;
};
