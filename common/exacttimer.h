#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

class QSocketNotifier;

// A timer for the bus timings whose ticks come on time to within a few
// microseconds. The event loop sleeps in whole milliseconds, rounded up, so a
// precise QTimer still ticks up to 1 ms late; over the 744 waits of a full
// system run, or the 21 repetitions of a probe, that adds up to a drift the
// bus timings do not allow. On Linux a kernel timer (timerfd) armed for the
// same moment wakes the event loop exactly when the tick is due, and the
// QTimer then ticks at once; elsewhere the ticks are those of the QTimer.
class ExactTimer : public QObject
{
    Q_OBJECT
public:
    explicit ExactTimer(QObject *parent = nullptr);
    ~ExactTimer() override;
    ExactTimer(const ExactTimer &) = delete;
    ExactTimer &operator=(const ExactTimer &) = delete;

    // The QTimer that ticks: connect to its timeout(); it carries the name.
    QTimer &timer() { return m_timer; }
    const QTimer &timer() const { return m_timer; }

    void setSingleShot(bool singleShot) { m_timer.setSingleShot(singleShot); }
    // Like QTimer's: on a running timer it starts the interval again.
    void setInterval(std::chrono::milliseconds interval);
    std::chrono::milliseconds interval() const { return m_timer.intervalAsDuration(); }
    bool isActive() const { return m_timer.isActive(); }
    void start();
    void start(std::chrono::milliseconds interval);
    void stop();

private:
    void arm();

    QTimer m_timer;
    int m_fd = -1;
    QSocketNotifier *m_wake = nullptr;
};
