#pragma once

#include "exacttimer.h"

#include <QObject>
#include <QTimer>

#include <chrono>

class QEventLoop;

// The blocking wait of the exchanges: n units on one timer while the window
// keeps processing its events (receive events, other ticks, the user's
// input). It sleeps in the event loop, burns no CPU, and always runs its
// whole length: a complete reply does not end it early.
class WaitClock : public QObject
{
    Q_OBJECT
public:
    // `timerName` is the tool's name of the wait timer ("Timer2", "Timer1").
    WaitClock(std::chrono::milliseconds unit, const QString &timerName, QObject *parent = nullptr);
    ~WaitClock() override;

    std::chrono::milliseconds unit() const { return m_unit; }
    bool isWaiting() const { return m_loop != nullptr; }
    const QTimer &timer() const { return m_timer.timer(); }

    // Waits n units (none for n <= 0). False when the wait did not run its
    // length for want of the clock: another wait is already running, the
    // clock has been stopped for good, or the clock itself was destroyed
    // during the wait.
    bool Wait(int n);

    // Ends a running wait at once, which then returns true as if its time
    // were up (the installer's stop of a display); later waits run as usual.
    void cutShort();

    // Ends a running wait at once and refuses every later one: called when
    // the window closes, so that the work in progress ends cleanly.
    void shutDown();
    bool isShutDown() const { return m_shutDown; }

private:
    std::chrono::milliseconds m_unit;
    ExactTimer m_timer;
    QEventLoop *m_loop = nullptr;
    bool m_shutDown = false;
};
