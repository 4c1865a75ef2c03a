#include "waitclock.h"

#include <QEventLoop>
#include <QPointer>

#include <algorithm>
#include <limits>

WaitClock::WaitClock(std::chrono::milliseconds unit, const QString &timerName, QObject *parent)
    : QObject(parent), m_unit(unit)
{
    m_timer.timer().setObjectName(timerName);
    m_timer.setSingleShot(true);
}

WaitClock::~WaitClock()
{
    shutDown();
}

bool WaitClock::Wait(int n)
{
    if (m_shutDown || m_loop != nullptr)
        return false;
    if (n <= 0)
        return true; // a wait of no length ends at once
    const auto longest = std::chrono::milliseconds(std::numeric_limits<int>::max());
    const std::chrono::milliseconds length =
        std::min<std::chrono::milliseconds>(m_unit * n, longest);
    QEventLoop loop;
    m_loop = &loop;
    connect(&m_timer.timer(), &QTimer::timeout, &loop, &QEventLoop::quit);
    m_timer.start(length);
    // Whatever runs inside the wait may close the window and so destroy this
    // clock; then nothing of it may be touched after the loop.
    const QPointer<WaitClock> alive(this);
    loop.exec();
    if (!alive)
        return false;
    disconnect(&m_timer.timer(), &QTimer::timeout, &loop, &QEventLoop::quit);
    m_timer.stop();
    m_loop = nullptr;
    return !m_shutDown;
}

void WaitClock::cutShort()
{
    m_timer.stop();
    if (m_loop != nullptr)
        m_loop->quit();
}

void WaitClock::shutDown()
{
    m_shutDown = true;
    m_timer.stop();
    if (m_loop != nullptr)
        m_loop->quit();
}
