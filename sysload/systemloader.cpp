#include "systemloader.h"

#include "busframe.h"
#include "quickexchange.h"
#include "registerframe.h"
#include "replycheck.h"
#include "seriallink.h"
#include "waitclock.h"

#include <QFileInfo>
#include <QScopedValueRollback>

#include <algorithm>

namespace {
// Wait units after each request: the waited exchange runs one.
constexpr int ReplyWait = 1;

const ControllerSlot &SlotAt(int slot)
{
    return ControllerSlots()[static_cast<std::size_t>(slot)];
}
} // namespace

SystemLoader::SystemLoader(SerialLink &link, WaitClock &clock, BackupFile &file, QObject *parent)
    : QObject(parent), m_link(link), m_clock(clock), m_exchange(link, clock), m_file(file),
      m_image(file.image())
{
    qRegisterMetaType<RunProgress>();
}

void SystemLoader::requestStop()
{
    if (!m_running)
        return;
    m_stopRequested = true;
    // The error count on show is taken down at once; an exchange in progress
    // runs to its end.
    if (m_showingCount)
        m_clock.cutShort();
}

void SystemLoader::stop()
{
    m_stopped = true;
    m_clock.shutDown();
    if (m_quickExchange != nullptr)
        m_quickExchange->shutDown();
}

// ---------------------------------------------------------------------------
// Runs

SystemLoader::RunEnd SystemLoader::ReadRun(const TickedSlot &ticked)
{
    if (const auto refused = RefuseRun())
        return *refused;
    const QScopedValueRollback running(m_running, true);
    StartRun(ticked);
    m_failedReads.clear();

    for (int slot = 0; slot < SlotCount; ++slot) {
        CountSlot(slot, ticked);
        if (!ticked(slot)) {
            m_image.clearPresenceMarker(slot);
            continue;
        }
        if (!ReadController(slot)) {
            // What was read stays in the image; the file keeps the last full backup.
            if (m_linkFailed)
                return EndRun(EndOnLinkFailure(QStringLiteral("чтение прервано, файл %1 не записан")
                                                   .arg(SysloadText::FileName())));
            if (!m_stopRequested)
                return RunEnd::Stopped;
            emit statusChanged(
                SysloadText::ReadStopped(m_progress.done, m_progress.total, m_errorCount));
            return EndRun(RunEnd::Cancelled);
        }
    }

    // All reading is done before the file is touched; it is written in one pass.
    QString said;
    m_saveError = SaveWithRetry(&said);
    return EndRun(ShowErrorCountThenReset(
        m_saveError.isEmpty() ? SysloadText::ReadSaved(said, int(m_failedReads.size()),
                                                       QFileInfo(m_file.recordPath()).fileName())
                              : m_saveError));
}

SystemLoader::RunEnd SystemLoader::WriteRun(const TickedSlot &ticked)
{
    if (const auto refused = RefuseRun())
        return *refused;
    // Said before anything is sent: the installer may still decline.
    if (const QList<UnreadRegister> unread = m_file.unread().list(ticked); !unread.isEmpty()) {
        const QString text =
            SysloadText::UnreadInFile(int(unread.size()), RegisterLines(unread), m_includeUnread);
        if (!m_unreadWarning)
            emit statusChanged(text);
        else if (!m_unreadWarning(text))
            return RunEnd::Declined;
        if (m_stopped)
            return RunEnd::Stopped;
    }
    const QScopedValueRollback running(m_running, true);
    const QScopedValueRollback<const UnreadRegisters *> skip(
        m_skip, m_includeUnread ? nullptr : &m_file.unread());
    StartRun(ticked);

    for (int slot = 0; slot < SlotCount; ++slot) {
        CountSlot(slot, ticked);
        if (!ticked(slot))
            continue;
        if (!WriteController(slot)) {
            if (m_linkFailed)
                return EndRun(EndOnLinkFailure(QStringLiteral("запись прервана")));
            if (!m_stopRequested)
                return RunEnd::Stopped;
            // The network now holds part of the image: say where the run ended.
            emit statusChanged(SysloadText::WriteStopped(
                m_lastAddress, m_lastRegister, m_progress.done, m_progress.total, m_errorCount));
            return EndRun(RunEnd::Cancelled);
        }
    }
    const QString skipped =
        m_skipped.isEmpty() ? QString() : SysloadText::WriteSkipped(int(m_skipped.size()));
    // A run without errors leaves the reset status line and shows no count.
    if (m_errorCount == 0) {
        if (!skipped.isEmpty())
            emit statusChanged(skipped);
        return EndRun(RunEnd::Done);
    }
    return EndRun(ShowErrorCountThenReset(skipped));
}

SystemLoader::RunEnd SystemLoader::VerifyRun(const TickedSlot &ticked)
{
    if (const auto refused = RefuseRun())
        return *refused;
    // The file and its record as they stand on the disk now, not the image in memory.
    SystemImage file;
    UnreadRegisters unread;
    QString reason = LoadImageFile(file, m_file.path());
    if (reason.isEmpty())
        reason = LoadUnreadRecord(unread, m_file.recordPath());
    if (!reason.isEmpty()) {
        emit statusChanged(reason);
        return RunEnd::FileFailed;
    }
    const QScopedValueRollback running(m_running, true);
    const QScopedValueRollback<const UnreadRegisters *> skip(m_skip, &unread);
    StartRun(ticked);
    m_verify = {};

    for (int slot = 0; slot < SlotCount; ++slot) {
        CountSlot(slot, ticked);
        if (!ticked(slot))
            continue;
        const int address = SlotAt(slot).address;
        const bool carryOn =
            ReadRegisters(slot, [&](int n, const std::optional<RegisterValues> &values) {
                if (!values)
                    m_verify.unread.append({address, n});
                else if (*values == file.at(slot, n))
                    ++m_verify.equal;
                else
                    m_verify.differing.append({address, n, file.at(slot, n), *values});
            });
        if (!carryOn) {
            if (m_linkFailed)
                return EndRun(EndOnLinkFailure(QStringLiteral("сверка прервана")));
            if (!m_stopRequested)
                return RunEnd::Stopped;
            emit statusChanged(SysloadText::VerifyStopped(m_progress.done, m_progress.total));
            return EndRun(RunEnd::Cancelled);
        }
    }
    m_verify.unreadInFile = m_skipped;
    emit statusChanged(SysloadText::VerifyDone(VerifyText::Summary(m_verify)));
    return EndRun(RunEnd::Done);
}

// A run never starts inside another one, after the window has closed, or on a
// port that is not open (which says why instead of counting every register).
std::optional<SystemLoader::RunEnd> SystemLoader::RefuseRun()
{
    if (m_running || m_stopped)
        return RunEnd::Busy;
    if (!m_link.isOpen()) {
        emit statusChanged(m_link.errorText());
        return RunEnd::PortClosed;
    }
    return std::nullopt;
}

void SystemLoader::StartRun(const TickedSlot &ticked)
{
    m_errorCount = 0;
    m_linkFailed = false;
    m_stopRequested = false;
    m_runQuick = isQuick();
    m_lastAddress = m_lastRegister = -1;
    m_skipped.clear();
    m_progress = RunProgress{};
    m_progress.running = true;
    m_runClock.start();
    CountSlot(0, ticked);
    m_progress.left = m_clock.unit() * ReplyWait * m_progress.total;
    emit progressChanged(m_progress);
}

// The registers still to do are counted as the scan reaches each slot, as
// the ticks are: a box changed during the run changes the total.
void SystemLoader::CountSlot(int slot, const TickedSlot &ticked)
{
    int total = m_progress.done;
    for (int s = slot; s < SlotCount; ++s)
        if (ticked(s))
            total += int(RegistersOf(s).size());
    m_progress.total = total;
}

// The registers of a slot the run exchanges: all but those it passes over.
QList<int> SystemLoader::RegistersOf(int slot) const
{
    QList<int> registers;
    for (int n = 0; n < SlotAt(slot).registerCount; ++n)
        if (m_skip == nullptr || !m_skip->contains(slot, n))
            registers << n;
    return registers;
}

void SystemLoader::NoteSkipped(int slot)
{
    if (m_skip != nullptr)
        m_skipped << m_skip->list([slot](int s) { return s == slot; });
}

void SystemLoader::RegisterDone(bool lastOfController)
{
    ++m_progress.done;
    m_progress.controllerDone = lastOfController;
    m_progress.errors = m_errorCount;
    m_progress.address = m_lastAddress;
    // The full wait is the time of a register; the quick exchange's own pace
    // is what the registers so far have taken.
    const auto elapsed = std::chrono::milliseconds(m_runClock.elapsed());
    const std::chrono::milliseconds perRegister =
        m_runQuick ? elapsed / m_progress.done : m_clock.unit() * ReplyWait;
    m_progress.left = perRegister * std::max(0, m_progress.total - m_progress.done);
    emit progressChanged(m_progress);
}

SystemLoader::RunEnd SystemLoader::EndRun(RunEnd end)
{
    m_progress.running = false;
    emit progressChanged(m_progress);
    return end;
}

SystemLoader::RunEnd SystemLoader::EndOnLinkFailure(const QString &consequence)
{
    emit statusChanged(m_link.errorText() + QStringLiteral(" — ") + consequence);
    return RunEnd::PortFailed;
}

// A failed save keeps its reason on the status line once the count has been
// shown, so that it is not lost behind the reset. The installer's stop takes
// the count down early.
SystemLoader::RunEnd SystemLoader::ShowErrorCountThenReset(const QString &finalStatus)
{
    emit statusChanged(SysloadText::ErrorCount(m_errorCount));
    if (!m_stopRequested) {
        const QScopedValueRollback showing(m_showingCount, true);
        if (!m_clock.Wait(m_countDisplay))
            return RunEnd::Stopped;
    }
    emit statusChanged(finalStatus.isEmpty() ? SysloadText::StatusReset() : finalStatus);
    return RunEnd::Done;
}

// The image stays in memory whatever happens to the file; the installer may
// free the disk or the folder and try again as often as needed without
// reading the network again. Returns the reason of a save given up, or empty.
QString SystemLoader::SaveWithRetry(QString *said)
{
    for (;;) {
        const QString reason = m_file.save(said);
        if (reason.isEmpty())
            return reason;
        emit statusChanged(reason);
        if (m_stopped || !m_saveFailure || !m_saveFailure(reason))
            return reason;
    }
}

// ---------------------------------------------------------------------------
// Controllers

// A register that fails keeps the image's value, which is then not one read
// from the house.
bool SystemLoader::ReadController(int slot)
{
    return ReadRegisters(slot, [this, slot](int n, const std::optional<RegisterValues> &values) {
        if (values)
            m_image.at(slot, n) = *values;
        else
            m_failedReads.append({SlotAt(slot).address, n});
        m_file.setRead(slot, n, values.has_value());
    });
}

bool SystemLoader::ReadRegisters(int slot, const RegisterRead &take)
{
    const int address = SlotAt(slot).address;
    const QList<int> registers = RegistersOf(slot);
    NoteSkipped(slot);
    bool carryOn = true;
    for (qsizetype k = 0; k < registers.size(); ++k) {
        const int n = registers[k];
        std::optional<RegisterValues> values;
        if (ReadRegister(address, n, values) != Exchanged::Judge) {
            carryOn = false;
            break;
        }
        take(n, values);
        if (!values)
            ++m_errorCount;
        emit statusChanged(SysloadText::ReadLine(address, n, values.has_value()));
        m_lastAddress = address;
        m_lastRegister = n;
        RegisterDone(k == registers.size() - 1);
        if (m_stopRequested) {
            carryOn = false;
            break;
        }
    }
    // Between controllers the read run takes no late bytes: they wait in the
    // port and come in ahead of the next reply. The write run leaves
    // reception open.
    m_exchange.closeReception();
    return carryOn;
}

bool SystemLoader::WriteController(int slot)
{
    const int address = SlotAt(slot).address;
    const QList<int> registers = RegistersOf(slot);
    NoteSkipped(slot);
    for (qsizetype k = 0; k < registers.size(); ++k) {
        const int n = registers[k];
        const RegisterValues &values = m_image.at(slot, n);
        std::array<int, 8> cells{};
        std::ranges::copy(values, cells.begin());
        const std::optional<QByteArray> request = WriteRegisterRequest(address, n, cells);
        bool acknowledged = false;
        if (request && WriteRegister(*request, address, acknowledged) != Exchanged::Judge)
            return false;
        if (!acknowledged)
            ++m_errorCount;
        // A value outside 0..255 (only an edited file holds one) cannot be one
        // byte on the wire: the register is not sent, counts as an error, and
        // its line names the byte that holds it.
        const auto notByte =
            std::ranges::find_if(values, [](qint16 v) { return v < 0 || v > 0xFF; });
        emit statusChanged(
            !request && notByte != values.end()
                ? SysloadText::WriteNotByte(address, n, int(notByte - values.begin()) + 1, *notByte)
                : SysloadText::WriteLine(address, n, acknowledged));
        m_lastAddress = address;
        m_lastRegister = n;
        RegisterDone(k == registers.size() - 1);
        if (m_stopRequested)
            return false;
    }
    emit statusChanged(SysloadText::StatusReset());
    return true;
}

// ---------------------------------------------------------------------------
// One exchange

SystemLoader::Exchanged SystemLoader::ReadRegister(int address, int registerNumber,
                                                   std::optional<RegisterValues> &values)
{
    // The address comes from the controller table, so the frame is always whole.
    const QByteArray request = ReadRegisterRequest(address, registerNumber).value_or(QByteArray());
    if (m_runQuick) {
        const auto outcome =
            m_quickExchange->Exchange(request, [address, registerNumber](const QByteArray &r) {
                return RegisterReply(r, address, registerNumber).has_value();
            });
        const Exchanged exchanged = QuickOutcome(outcome);
        if (exchanged == Exchanged::Judge)
            values = RegisterReply(m_quickExchange->received(), address, registerNumber);
        return exchanged;
    }
    const Exchanged exchanged = Exchange(request);
    if (exchanged == Exchanged::Judge)
        values =
            RegisterReply(m_link.replyBuffer(), m_link.receiveOffset(), address, registerNumber);
    return exchanged;
}

SystemLoader::Exchanged SystemLoader::WriteRegister(const QByteArray &request, int address,
                                                    bool &acknowledged)
{
    if (m_runQuick) {
        const auto outcome = m_quickExchange->Exchange(
            request, [address](const QByteArray &r) { return IsAcknowledgement(r, address); });
        const Exchanged exchanged = QuickOutcome(outcome);
        acknowledged = exchanged == Exchanged::Judge &&
                       IsAcknowledgement(m_quickExchange->received(), address);
        return exchanged;
    }
    const Exchanged exchanged = Exchange(request);
    acknowledged = exchanged == Exchanged::Judge &&
                   IsAcknowledgement(m_link.replyBuffer(), m_link.receiveOffset(), address);
    return exchanged;
}

SystemLoader::Exchanged SystemLoader::QuickOutcome(QuickExchange::Outcome outcome)
{
    switch (outcome) {
    case QuickExchange::Outcome::Passed:
    case QuickExchange::Outcome::NotPassed:
        return Exchanged::Judge;
    case QuickExchange::Outcome::LinkFailed:
        m_linkFailed = true;
        return Exchanged::LinkFailed;
    case QuickExchange::Outcome::Stopped:
        break;
    }
    return Exchanged::Stopped;
}

SystemLoader::Exchanged SystemLoader::Exchange(const QByteArray &request)
{
    if (m_stopped)
        return Exchanged::Stopped;
    switch (m_exchange.Run(request)) {
    case WaitedExchange::End::Judge:
        return Exchanged::Judge;
    case WaitedExchange::End::LinkFailed:
        m_linkFailed = true;
        return Exchanged::LinkFailed;
    case WaitedExchange::End::Stopped:
        break;
    }
    return Exchanged::Stopped;
}
