#include "quickexchange.h"

#include "seriallink.h"

#include <QEventLoop>
#include <QPointer>

QuickExchange::QuickExchange(SerialLink &link, std::chrono::milliseconds wait, QObject *parent)
    : QObject(parent), m_link(link), m_wait(wait)
{
    m_waitTimer.setSingleShot(true);
    m_pauseTimer.setSingleShot(true);
    connect(&m_link, &SerialLink::bytesWaiting, this, &QuickExchange::onReceived);
    connect(&m_waitTimer.timer(), &QTimer::timeout, this, [this] {
        if (m_loop != nullptr)
            m_loop->quit();
    });
    connect(&m_pauseTimer.timer(), &QTimer::timeout, this, [this] {
        m_passed = true;
        if (m_loop != nullptr)
            m_loop->quit();
    });
    connect(&m_link, &SerialLink::portFailed, this, [this] {
        if (m_loop != nullptr)
            m_loop->quit();
    });
}

QuickExchange::~QuickExchange()
{
    shutDown();
}

void QuickExchange::shutDown()
{
    m_shutDown = true;
    m_waitTimer.stop();
    m_pauseTimer.stop();
    if (m_loop != nullptr)
        m_loop->quit();
}

QuickExchange::Outcome QuickExchange::Exchange(const QByteArray &request, const Check &check)
{
    if (m_shutDown || m_loop != nullptr)
        return Outcome::Stopped;
    // The link stores nothing while the quick exchange collects the reply;
    // its gate comes back as it was when the exchange ends. Bytes that wait
    // in the port from before the request (the late tail of an earlier
    // reply, other traffic) are not part of this reply.
    const ReceptionGate closed = m_link.closeReception();
    m_link.discardWaiting();
    m_received.clear();
    m_passed = false;
    if (!m_link.SendRaw(request))
        return Outcome::LinkFailed;

    QEventLoop loop;
    m_loop = &loop;
    m_check = &check;
    m_waitTimer.start(m_wait);
    const QPointer<QuickExchange> alive(this);
    loop.exec();
    if (!alive)
        return Outcome::Stopped;
    m_loop = nullptr;
    m_check = nullptr;
    m_waitTimer.stop();
    m_pauseTimer.stop();
    if (m_shutDown)
        return Outcome::Stopped;
    if (!m_link.isOpen())
        return Outcome::LinkFailed;
    // The full wait may end inside the pause after a good reply.
    return m_passed || check(m_received) ? Outcome::Passed : Outcome::NotPassed;
}

// Each piece of the reply is added to what came before it; while what has
// come passes the check, the pause starts again from the latest piece.
void QuickExchange::onReceived()
{
    if (m_loop == nullptr || m_check == nullptr)
        return;
    m_received += m_link.takeWaiting();
    if ((*m_check)(m_received))
        m_pauseTimer.start(Pause);
    else
        m_pauseTimer.stop();
}
