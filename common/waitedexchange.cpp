#include "waitedexchange.h"

#include "waitclock.h"

WaitedExchange::End WaitedExchange::Run(const QByteArray &request)
{
    if (!m_link.SendRequest(request))
        return End::LinkFailed;
    if (!m_reception)
        m_reception.emplace(m_link.openReception());
    if (!m_clock.Wait(1))
        return End::Stopped;
    // A port that failed during the wait has closed itself.
    if (!m_link.isOpen())
        return End::LinkFailed;
    // A reply whose last bytes came just before the end of the wait is judged
    // now, whole, and does not spill into the next exchange.
    m_link.TakePending();
    return End::Judge;
}
