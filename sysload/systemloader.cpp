#include "systemloader.h"

#include "busframe.h"
#include "seriallink.h"
#include "waitclock.h"

#include <QScopedValueRollback>

namespace {
// Wait units after each request, and while an error count is shown.
constexpr int ReplyWait = 1;
constexpr int CountDisplay = 20;
} // namespace

SystemLoader::SystemLoader(SerialLink &link, WaitClock &clock, SystemImage &image,
                           QString imagePath, QObject *parent)
    : QObject(parent), m_link(link), m_clock(clock), m_image(image),
      m_imagePath(std::move(imagePath))
{}

void SystemLoader::stop()
{
    m_stopped = true;
    m_clock.shutDown();
}

// ---------------------------------------------------------------------------
// Runs

SystemLoader::RunEnd SystemLoader::ReadRun(const TickedSlot &ticked)
{
    if (const auto refused = RefuseRun())
        return *refused;
    const QScopedValueRollback running(m_running, true);
    m_errorCount = 0;
    m_linkFailed = false;

    for (int slot = 0; slot < SlotCount; ++slot) {
        const ControllerSlot &controller = ControllerSlots()[static_cast<std::size_t>(slot)];
        if (!ticked(slot)) {
            m_image.clearPresenceMarker(slot);
            continue;
        }
        if (!ReadController(controller.address, controller.registerCount, slot)) {
            if (!m_linkFailed)
                return RunEnd::Stopped;
            // What was read stays in the image; the file keeps the last full backup.
            return EndOnLinkFailure(
                QStringLiteral("чтение прервано, файл %1 не записан").arg(SysloadText::FileName()));
        }
    }

    // All reading is done before the file is touched; it is written in one pass.
    return ShowErrorCountThenReset(SaveWithRetry());
}

SystemLoader::RunEnd SystemLoader::WriteRun(const TickedSlot &ticked)
{
    if (const auto refused = RefuseRun())
        return *refused;
    const QScopedValueRollback running(m_running, true);
    m_errorCount = 0;
    m_linkFailed = false;

    for (int slot = 0; slot < SlotCount; ++slot) {
        const ControllerSlot &controller = ControllerSlots()[static_cast<std::size_t>(slot)];
        if (!ticked(slot))
            continue;
        if (!WriteController(controller.address, controller.registerCount, slot)) {
            if (!m_linkFailed)
                return RunEnd::Stopped;
            return EndOnLinkFailure(QStringLiteral("запись прервана"));
        }
    }
    // A run without errors leaves the reset status line and shows no count.
    if (m_errorCount == 0)
        return RunEnd::Done;
    return ShowErrorCountThenReset(QString());
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

SystemLoader::RunEnd SystemLoader::EndOnLinkFailure(const QString &consequence)
{
    emit statusChanged(m_link.errorText() + QStringLiteral(" — ") + consequence);
    return RunEnd::PortFailed;
}

// A failed save keeps its reason on the status line once the count has been
// shown, so that it is not lost behind the reset.
SystemLoader::RunEnd SystemLoader::ShowErrorCountThenReset(const QString &finalStatus)
{
    emit statusChanged(SysloadText::ErrorCount(m_errorCount));
    if (!m_clock.Wait(CountDisplay))
        return RunEnd::Stopped;
    emit statusChanged(finalStatus.isEmpty() ? SysloadText::StatusReset() : finalStatus);
    return RunEnd::Done;
}

// The image stays in memory whatever happens to the file; the installer may
// free the disk or the folder and try again as often as needed without
// reading the network again. Returns the reason of a save given up, or empty.
QString SystemLoader::SaveWithRetry()
{
    for (;;) {
        const QString reason = SaveImageFile(m_image, m_imagePath);
        if (reason.isEmpty())
            return reason;
        emit statusChanged(reason);
        if (m_stopped || !m_saveFailure || !m_saveFailure(reason))
            return reason;
    }
}

// ---------------------------------------------------------------------------
// Controllers

bool SystemLoader::ReadController(int address, int count, int slot)
{
    bool carryOn = true;
    for (int n = 0; n < count; ++n) {
        // Read register: F0, address, 07, n, checksum; nothing in it is stuffed.
        // The address comes from the controller table, so the frame is always whole.
        const QByteArray request = FrameBuilder(RequestStart, address, ReadRegisterBlock)
                                       .raw(n)
                                       .finish()
                                       .value_or(QByteArray());
        if (Exchange(request) != Exchanged::Judge) {
            carryOn = false;
            break;
        }
        const std::optional<RegisterValues> values = JudgeRegisterReply(address, n);
        if (values)
            m_image.at(slot, n) = *values;
        else
            ++m_errorCount;
        emit statusChanged(SysloadText::ReadLine(address, n, values.has_value()));
    }
    // Between controllers the read run takes no late bytes: they wait in the
    // port and come in ahead of the next reply.
    m_link.setAwaitingReply(0);
    return carryOn;
}

bool SystemLoader::WriteController(int address, int count, int slot)
{
    for (int n = 0; n < count; ++n) {
        // Write register: F0, address, 08, n as they stand, the eight data bytes
        // under the stuffing rule, checksum.
        FrameBuilder frame(RequestStart, address, WriteRegisterBlock);
        frame.raw(n);
        for (qint16 value : m_image.at(slot, n))
            frame.stuffed(value);
        const std::optional<QByteArray> request = frame.finish();
        bool acknowledged = false;
        if (request) {
            if (Exchange(*request) != Exchanged::Judge)
                return false;
            acknowledged = IsAcknowledged(address);
        }
        // A value outside 0..255 (only an edited file holds one) cannot be one
        // byte on the wire: the register is not sent and counts as an error.
        if (!acknowledged)
            ++m_errorCount;
        emit statusChanged(SysloadText::WriteLine(address, n, acknowledged));
    }
    emit statusChanged(SysloadText::StatusReset());
    return true;
}

// ---------------------------------------------------------------------------
// One exchange

SystemLoader::Exchanged SystemLoader::Exchange(const QByteArray &request)
{
    if (m_stopped)
        return Exchanged::Stopped;
    if (!m_link.SendRaw(request)) {
        m_linkFailed = true;
        return Exchanged::LinkFailed;
    }
    m_link.setReceiveOffset(0);
    m_link.setAwaitingReply(SerialLink::AwaitingReply);
    // The wait always runs its whole length; a complete reply does not end it.
    if (!m_clock.Wait(ReplyWait))
        return Exchanged::Stopped;
    // A port that failed during the wait has closed itself.
    if (!m_link.isOpen()) {
        m_linkFailed = true;
        return Exchanged::LinkFailed;
    }
    // A reply whose last bytes came just before the end of the wait is judged
    // now, whole, and does not spill into the next register's exchange.
    m_link.TakePending();
    return Exchanged::Judge;
}

// A register reply is F8, address, 07, the register number, eight data bytes
// (each F0 followed by a stuffing byte, taken as it stands), checksum. The
// data reach the image only when the checksum matches.
std::optional<RegisterValues> SystemLoader::JudgeRegisterReply(int address, int registerNumber)
{
    const ReplyBuffer &reply = m_link.replyBuffer();
    if (m_link.receiveOffset() == 0 || reply.slot(1) != ReplyStart || reply.slot(2) != address ||
        reply.slot(3) != ReplyRegisterBlock || reply.slot(4) != registerNumber)
        return std::nullopt;
    m_link.setRunningChecksum(address + ReplyRegisterBlock + registerNumber);
    m_link.setReadPosition(5);
    RegisterValues values{};
    for (qint16 &value : values)
        value = static_cast<qint16>(m_link.TakeReplyByte());
    if (reply.slot(m_link.readPosition()) != ReduceChecksum(m_link.runningChecksum()))
        return std::nullopt;
    return values;
}

// A write is acknowledged by F8, address, 01; nothing after that is examined,
// not even the checksum.
bool SystemLoader::IsAcknowledged(int address) const
{
    return ::IsAcknowledgement(m_link.replyBuffer(), m_link.receiveOffset(), address);
}
