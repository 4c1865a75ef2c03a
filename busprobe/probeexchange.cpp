#include "probeexchange.h"

#include "probetexts.h"

#include <utility>

ProbeExchange::ProbeExchange(BusPort *port, std::chrono::milliseconds waitUnit, Clock clock,
                             QObject *parent)
    : QObject(parent), m_link(port), m_clock(waitUnit, QStringLiteral("Timer2")),
      m_now(std::move(clock))
{}

ProbeExchange::Outcome ProbeExchange::Run(int targetAddress, int commandCode,
                                          const RequestFields &values)
{
    const auto portProblem = [this] {
        return Outcome{End::PortProblem, {}, ProbeTexts::StatusPortProblem(m_link.errorText())};
    };
    // Nothing more goes on the wire once the window is closing, nor while
    // another exchange waits for its reply in the same reply buffer.
    if (m_clock.isShutDown() || m_clock.isWaiting())
        return {};
    for (int attempt = 1;; ++attempt) {
        // Composed afresh at every attempt: a full synchronisation carries the
        // clock as it stands when the request goes out.
        const std::optional<QByteArray> request =
            ComposeRequest(targetAddress, commandCode, values, m_now());
        if (!request)
            return {End::Refused, {}, ProbeTexts::StatusNotComposed()};
        switch (m_exchange.Run(*request)) {
        case WaitedExchange::End::Judge:
            break;
        case WaitedExchange::End::LinkFailed:
            return portProblem();
        case WaitedExchange::End::Stopped:
            return {}; // abandoned; this object may be gone
        }

        Outcome outcome{End::Judged,
                        JudgeReply(m_link.replyBuffer(), m_link.receiveOffset(), targetAddress),
                        {}};
        outcome.status = ProbeTexts::VerdictText(outcome.judgement.verdict);
        if (outcome.judgement.verdict == Verdict::ForeignTraffic) {
            if (attempt < m_attemptLimit) {
                emit statusChanged(outcome.status);
                continue;
            }
            outcome.end = End::BusBusy;
            outcome.status = ProbeTexts::StatusBusBusy();
        }
        m_link.ForgetReceived();
        return outcome;
    }
}
