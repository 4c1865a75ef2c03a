#include "waitclock.h"

#include <QEventLoop>

WaitClock::WaitClock(std::chrono::milliseconds unit, const QString &timerName, QObject *parent)
    : QObject(parent), m_unit(unit)
{
    m_timer.setObjectName(timerName);
    m_timer.setSingleShot(true);
    // The default coarse timer may be off by 5 %; bus waits must be exact.
    m_timer.setTimerType(Qt::PreciseTimer);
}

WaitClock::~WaitClock()
{
    shutDown();
}

bool WaitClock::Wait(int n)
{
    if (m_shutDown || m_loop != nullptr)
        return false;
    QEventLoop loop;
    m_loop = &loop;
    const QMetaObject::Connection tick =
        connect(&m_timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    m_timer.start(m_unit * n);
    loop.exec();
    disconnect(tick);
    m_timer.stop();
    m_loop = nullptr;
    return !m_shutDown;
}

void WaitClock::shutDown()
{
    m_shutDown = true;
    m_timer.stop();
    if (m_loop != nullptr)
        m_loop->quit();
}
