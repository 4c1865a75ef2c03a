#include "registertransfer.h"

#include "busframe.h"
#include "hextext.h"
#include "registerframe.h"
#include "stuffedbyte.h"

#include <utility>

namespace {

QString Blanked(int blanks)
{
    return QStringLiteral("Статус:") + QString(blanks, QLatin1Char(' '));
}

} // namespace

namespace TransferText {

QString WriteProgress(int writePos)
{
    return QStringLiteral("Статус: out--%1").arg(writePos);
}

QString WriteDone()
{
    return Blanked(27);
}

QString WriteUnconfirmed(int missing, int total, int address, int firstMissing)
{
    const QString counted =
        QStringLiteral("Статус: не подтверждено %1 из %2").arg(missing).arg(total);
    if (missing == total)
        return counted + QStringLiteral(", контроллер %1 не отвечает").arg(FormatHex(address));
    return counted + QStringLiteral(", первый — регистр %1 контроллера %2")
                         .arg(QString::number(firstMissing), FormatHex(address));
}

QString ReadProgress(int readCounter)
{
    return QStringLiteral("Статус:  in--%1").arg(readCounter) + QString(12, QLatin1Char(' '));
}

QString ReadChecksumError()
{
    return QStringLiteral("Статус:   error");
}

QString ReadForeign(int readCounter)
{
    return QStringLiteral("Статус:  error--%1").arg(readCounter);
}

QString ReadDone()
{
    return Blanked(32);
}

QString WriteNotStarted(const QString &reason)
{
    return QStringLiteral("Статус: запись в контроллер не начата: %1").arg(reason);
}

QString ReadNotStarted(const QString &reason)
{
    return QStringLiteral("Статус: чтение из контроллера не начато: %1").arg(reason);
}

QString NotAByte(int reg, int cell, int value, bool started)
{
    return QStringLiteral("Статус: регистр %1, ячейка %2 содержит %3, а не байт 0..255; %4")
        .arg(QString::number(reg), QString::number(cell), QString::number(value),
             started ? QStringLiteral("запись прервана") : QStringLiteral("запись не начата"));
}

QString Interrupted(const QString &reason)
{
    return QStringLiteral("Статус: обмен прерван: %1").arg(reason);
}

QString FileNotSaved()
{
    return QStringLiteral("Статус: идёт обмен с контроллером; файл не записан");
}

QString FileNotLoaded()
{
    return QStringLiteral("Статус: идёт обмен с контроллером; файл не прочитан");
}

QString RunInProgress()
{
    return QStringLiteral("Статус: идёт обмен с контроллером; новый не начат");
}

} // namespace TransferText

RegisterTransfer::RegisterTransfer(SerialLink *link, RegisterTransferSetup setup, QObject *parent)
    : QObject(parent), m_link(link), m_setup(std::move(setup))
{
    m_timer1.setInterval(m_setup.tick);
    m_timer2.setInterval(m_setup.tick);
    m_timer1.timer().setObjectName(QStringLiteral("Timer1"));
    m_timer2.timer().setObjectName(QStringLiteral("Timer2"));
    connect(&m_timer1.timer(), &QTimer::timeout, this, &RegisterTransfer::Timer1_Timer);
    connect(&m_timer2.timer(), &QTimer::timeout, this, &RegisterTransfer::Timer2_Timer);
    m_readLimit.setSingleShot(true);
    m_readLimit.setInterval(m_setup.tick * (1 + PutOffLimitTicks));
    connect(&m_readLimit.timer(), &QTimer::timeout, this, [this] { readStep(true); });

    connect(m_link, &SerialLink::replyStored, this, &RegisterTransfer::onReplyStored);
    connect(m_link, &SerialLink::portFailed, this, [this](const QString &text) {
        if (isActive())
            abortRun(TransferText::Interrupted(text));
    });
}

void RegisterTransfer::setStatus(const QString &text)
{
    m_status = text;
    emit statusChanged(text);
}

std::array<int, 3> RegisterTransfer::firstBadCell(int from, int to) const
{
    for (int reg = from; reg <= to; ++reg)
        for (int k = 0; k < 8; ++k) {
            const int value = m_setup.cell(reg, k);
            if (value < 0 || value > 255)
                return {reg, k, value};
        }
    return {-1, 0, 0};
}

bool RegisterTransfer::refusedDuringRun()
{
    if (!isActive())
        return false;
    // The run's own progress text comes back with its next tick.
    emit statusChanged(TransferText::RunInProgress());
    return true;
}

bool RegisterTransfer::startWriteRun()
{
    if (refusedDuringRun())
        return false;
    m_runAddress = m_setup.address();
    if (!m_link->isOpen()) {
        setStatus(TransferText::WriteNotStarted(m_link->errorText()));
        return false;
    }
    if (const auto bad = firstBadCell(0, m_setup.registerCount - 1); bad[0] >= 0) {
        setStatus(TransferText::NotAByte(bad[0], bad[1], bad[2], false));
        return false;
    }
    m_timer1.setInterval(m_setup.tick);
    m_timer1.start();
    m_writePos = 1;
    m_unacknowledged = 0;
    beginRun(RunMode::WriteRun);
    return true;
}

bool RegisterTransfer::startReadRun()
{
    if (refusedDuringRun())
        return false;
    m_runAddress = m_setup.address();
    if (!m_link->isOpen()) {
        setStatus(TransferText::ReadNotStarted(m_link->errorText()));
        return false;
    }
    m_readCounter = 0;
    m_timer2.start();
    m_readLimit.start();
    beginRun(RunMode::ReadRun);
    return true;
}

void RegisterTransfer::beginRun(RunMode mode)
{
    // Answers to a task check or to frames sent late in an earlier run may
    // wait in the port; taken with the first answer of this run they would
    // make it look wrong. They belong to no request of this run.
    m_link->discardWaiting();
    m_link->ForgetReceived();
    setRunMode(mode);
}

void RegisterTransfer::setRunMode(RunMode mode)
{
    m_runMode = mode;
    // Reception is open during every run: the read run takes the replies,
    // the write run and the tool's own runs the controller's answers.
    // Between runs the bytes stay in the port.
    if (mode == RunMode::NoRun)
        m_reception.reset();
    else if (!m_reception)
        m_reception.emplace(m_link->openReception());
}

bool RegisterTransfer::beginOwnRun(std::chrono::milliseconds interval)
{
    if (isActive())
        return false;
    m_runAddress = m_setup.address();
    m_timer1.setInterval(interval);
    m_timer1.start();
    beginRun(RunMode::OwnRun);
    return true;
}

int RegisterTransfer::ownRunStep() const
{
    const int mode = static_cast<int>(m_runMode);
    const int first = static_cast<int>(RunMode::OwnRun);
    return mode >= first ? mode - first : -1;
}

void RegisterTransfer::setOwnRunStep(int step)
{
    setRunMode(static_cast<RunMode>(static_cast<int>(RunMode::OwnRun) + step));
}

void RegisterTransfer::endOwnRun()
{
    setRunMode(RunMode::NoRun);
    m_timer1.stop();
    m_timer1.setInterval(m_setup.tick);
}

void RegisterTransfer::abortRun(const QString &status)
{
    const bool wasReading = m_runMode == RunMode::ReadRun;
    m_timer1.stop();
    stopReadTimers();
    m_timer1.setInterval(m_setup.tick);
    setRunMode(RunMode::NoRun);
    // Registers read so far are in memory already: show them.
    if (wasReading && m_setup.readRunEnded)
        m_setup.readRunEnded();
    setStatus(status);
}

void RegisterTransfer::Timer1_Timer()
{
    if (m_runMode == RunMode::WriteRun)
        writeStep();
    else if (ownRunStep() >= 0 && m_setup.ownWriteTimerTick)
        m_setup.ownWriteTimerTick();
}

void RegisterTransfer::writeStep()
{
    // The controller answers each register frame with F8, its address, 01;
    // the answer to the frame of the tick before is judged now, on every byte
    // received, its burst's last bytes included. Anything else, or nothing,
    // leaves that register unconfirmed.
    if (m_writePos >= 2) {
        m_link->TakePending();
        if (!IsAcknowledgement(m_link->replyBuffer(), m_link->receiveOffset(), m_runAddress) &&
            m_unacknowledged++ == 0)
            m_firstUnacknowledged = m_writePos - 2;
    }
    if (m_writePos < 1 || m_writePos > m_setup.registerCount) {
        m_link->ForgetReceived();
        m_timer1.stop();
        setStatus(m_unacknowledged == 0
                      ? TransferText::WriteDone()
                      : TransferText::WriteUnconfirmed(m_unacknowledged, m_setup.registerCount,
                                                       m_runAddress, m_firstUnacknowledged));
        setRunMode(RunMode::NoRun);
        return;
    }
    const int reg = m_writePos - 1;
    std::array<int, 8> cells{};
    for (int k = 0; k < 8; ++k)
        cells[static_cast<std::size_t>(k)] = m_setup.cell(reg, k);
    const std::optional<QByteArray> wire = WriteRegisterRequest(m_runAddress, reg, cells);
    if (!wire) {
        // The image was changed during the run (a file loaded meanwhile).
        const auto bad = firstBadCell(reg, reg);
        abortRun(TransferText::NotAByte(bad[0], bad[1], bad[2], true));
        return;
    }
    if (!m_link->SendRequest(*wire)) {
        abortRun(TransferText::Interrupted(m_link->errorText()));
        return;
    }
    setStatus(TransferText::WriteProgress(m_writePos));
    ++m_writePos;
}

void RegisterTransfer::Timer2_Timer()
{
    readStep(false);
}

void RegisterTransfer::readStep(bool limitReached)
{
    if (m_runMode != RunMode::ReadRun) {
        stopReadTimers();
        return;
    }
    const int c = m_readCounter;
    if (c <= m_setup.registerCount) {
        // Nothing was requested before the first tick: what came then is no
        // reply of this run.
        if (c >= 1) {
            // A reply still coming in puts the tick off, as each of its
            // receive events does: the event that ends it restarts Timer2,
            // and the reply is judged a whole tick after its last piece. On
            // a noisy line the bytes never stop; at the limit the reply is
            // judged on what has come, the burst still coming in included.
            if (m_link->replyStillArriving() && !limitReached)
                return;
            m_link->TakePending();
            judgeReply(c);
        }
        if (c < m_setup.registerCount) {
            const std::optional<QByteArray> request = ReadRegisterRequest(m_runAddress, c);
            if (!request || !m_link->SendRequest(*request)) {
                abortRun(TransferText::Interrupted(m_link->errorText()));
                return;
            }
        } else {
            m_link->ForgetReceived();
        }
        m_readCounter = c + 1;
        // The next step is due a whole tick after this one, and comes at the
        // latest at the limit after that.
        if (limitReached)
            m_timer2.start();
        m_readLimit.start();
    } else {
        stopReadTimers();
        if (m_setup.readRunEnded)
            m_setup.readRunEnded();
        setStatus(TransferText::ReadDone());
        setRunMode(RunMode::NoRun);
        m_link->ForgetReceived();
    }
}

void RegisterTransfer::stopReadTimers()
{
    m_timer2.stop();
    m_readLimit.stop();
}

void RegisterTransfer::judgeReply(int c)
{
    // The register number in the reply is not compared by itself: the sum is
    // taken with the number requested, so a reply for another register fails
    // the checksum. A data byte F0 counts its stuffing byte as 11.
    const RegisterReplyJudgement judgement =
        JudgeRegisterReply(m_link->replyBuffer(), m_link->receiveOffset(), m_runAddress, c - 1,
                           RegisterNumberRule::SummedAsRequested, TakeRegisterByte);
    switch (judgement.verdict) {
    case RegisterVerdict::NothingReceived:
        return; // the row keeps its content, the status stays
    case RegisterVerdict::NotThisReply:
        setStatus(TransferText::ReadForeign(c));
        return;
    case RegisterVerdict::ChecksumMismatch:
        setStatus(TransferText::ReadChecksumError());
        return;
    case RegisterVerdict::Ok:
        m_setup.storeRegister(c - 1, judgement.data);
        setStatus(TransferText::ReadProgress(c));
        return;
    }
}

void RegisterTransfer::onReplyStored()
{
    // The next judgement comes a whole tick after the last bytes, so a reply
    // that arrives in pieces is judged once it is complete.
    if (m_runMode == RunMode::ReadRun)
        m_timer2.start();
}
