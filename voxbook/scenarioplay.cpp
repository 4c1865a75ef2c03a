#include "scenarioplay.h"

#include "busframe.h"
#include "hextext.h"
#include "networktable.h"
#include "phrasebook.h"
#include "registertransfer.h"
#include "seriallink.h"
#include "voxtexts.h"

ScenarioPlay::ScenarioPlay(SerialLink *link, RegisterTransfer *engine,
                           std::chrono::milliseconds pollInterval, QObject *parent)
    : QObject(parent), m_link(link), m_engine(engine), m_pollInterval(pollInterval)
{}

bool ScenarioPlay::start(const QString &numberText)
{
    if (m_engine->isActive()) {
        emit statusChanged(TransferText::RunInProgress());
        return false;
    }
    // The number by the digit rule, as typed: "0G" is 10 and "E0x" is E0.
    // Only a value that is no byte cannot go on the wire.
    const std::optional<int> number = HexValue(numberText);
    if (!number || *number < 0 || *number > 0xFF) {
        emit statusChanged(VoxText::NumberNotSendable(numberText));
        return false;
    }
    if (!m_link->isOpen()) {
        emit statusChanged(VoxText::TestNotStarted(m_link->errorText()));
        return false;
    }
    // FF goes unstuffed with the header but counts in the checksum; the
    // scenario number is a payload byte and follows the stuffing rule.
    const std::optional<QByteArray> play =
        FrameBuilder(RequestStart, AnnouncerAddress, ActionCommand)
            .raw(PlayScenario)
            .stuffed(*number)
            .finish();
    // The run begins first: it takes the announcer's answer to the request.
    if (!play || !m_engine->beginOwnRun(m_pollInterval)) {
        emit statusChanged(VoxText::TestNotStarted(m_link->errorText()));
        return false;
    }
    m_unanswered = 0;
    if (!m_link->SendRequest(*play)) {
        m_engine->abortRun(VoxText::TestNotStarted(m_link->errorText()));
        return false;
    }
    return true;
}

void ScenarioPlay::step()
{
    const int step = m_engine->ownRunStep();
    if (step < 0 || step > LastStep)
        return;
    // The answer to the play request, or to the poll of the tick before, on
    // every byte received.
    m_link->TakePending();
    const bool answered =
        IsAcknowledgement(m_link->replyBuffer(), m_link->receiveOffset(), AnnouncerAddress);
    if (!answered)
        ++m_unanswered;
    const QByteArray poll = *FrameBuilder(RequestStart, AnnouncerAddress, PresencePoll).finish();
    if (!m_link->SendRequest(poll)) {
        m_engine->abortRun(TransferText::Interrupted(m_link->errorText()));
        return;
    }
    if (step == LastStep) {
        m_engine->endOwnRun();
        // The last poll's answer is not awaited; the play request and the
        // nine polls before it were judged.
        const int judged = LastStep + 1;
        emit statusChanged(m_unanswered == 0 ? VoxText::TestDone()
                                             : VoxText::TestUnanswered(m_unanswered, judged));
        return;
    }
    emit statusChanged(answered ? VoxText::TestPoll(step) : VoxText::TestNoAnswer(step));
    m_engine->setOwnRunStep(step + 1);
}
