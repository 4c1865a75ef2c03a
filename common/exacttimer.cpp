#include "exacttimer.h"

#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

ExactTimer::ExactTimer(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
#ifdef Q_OS_LINUX
    m_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_wake = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
        // Waking the event loop is all it is for: the QTimer, due by now,
        // ticks in the same pass of the loop.
        connect(m_wake, &QSocketNotifier::activated, this, [this] {
            quint64 expirations = 0;
            [[maybe_unused]] const auto got = ::read(m_fd, &expirations, sizeof expirations);
        });
    }
#endif
}

ExactTimer::~ExactTimer()
{
#ifdef Q_OS_LINUX
    delete m_wake;
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

void ExactTimer::setInterval(std::chrono::milliseconds interval)
{
    m_timer.setInterval(interval);
    if (m_timer.isActive())
        arm();
}

void ExactTimer::start()
{
    m_timer.start();
    arm();
}

void ExactTimer::start(std::chrono::milliseconds interval)
{
    m_timer.start(interval);
    arm();
}

void ExactTimer::stop()
{
    m_timer.stop();
    arm();
}

// Sets the kernel timer for the QTimer's next tick, or clears it when the
// QTimer is stopped. It is set after the QTimer started, so it never wakes the
// loop before the QTimer is due.
void ExactTimer::arm()
{
#ifdef Q_OS_LINUX
    if (m_fd < 0)
        return;
    itimerspec when{};
    const std::chrono::nanoseconds interval = m_timer.intervalAsDuration();
    if (m_timer.isActive() && interval.count() > 0) {
        const timespec period{time_t(interval.count() / 1'000'000'000),
                              long(interval.count() % 1'000'000'000)};
        when.it_value = period;
        if (!m_timer.isSingleShot())
            when.it_interval = period;
    }
    timerfd_settime(m_fd, 0, &when, nullptr);
#endif
}
