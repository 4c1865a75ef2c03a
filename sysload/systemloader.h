#pragma once

#include "backupfile.h"
#include "quickexchange.h"
#include "systemimage.h"
#include "verifyresult.h"
#include "waitedexchange.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class WaitClock;

// Where a run stands: registers done of the registers to do, the errors so
// far and the time left, counted from the wait per register.
struct RunProgress
{
    bool running = false;
    int done = 0;
    int total = 0;
    int errors = 0;
    int address = -1;            // the controller in hand
    bool controllerDone = false; // its last register is done
    std::chrono::milliseconds left{0};

    int percent() const { return total > 0 ? done * 100 / total : 0; }
};

// The runs of the system loader: the read run fills the image from every
// ticked controller, one register per request, and saves it to the image
// file; the write run sends the image back into every ticked controller; the
// verify run reads every ticked controller as the read run does and compares
// it with the image file, changing neither. A register whose value in the
// image was not read from the house (BackupFile::unread()) is neither written
// nor compared, unless the installer asks for it to be written. Each register is one exchange:
// the request goes out, the wait clock runs one unit in full, then whatever
// stands in the reply buffer is judged once. In quick mode the wait ends as
// soon as a reply passes the run's check (QuickExchange).
class SystemLoader : public QObject
{
    Q_OBJECT
public:
    enum class RunEnd
    {
        Done,
        Busy,       // a run (or its error count on show) was already in progress
        PortClosed, // the port is not open: nothing was sent
        PortFailed, // the port failed during the run: the run was ended
        Stopped,    // the window closed during the run
        Cancelled,  // the installer stopped the run after an exchange
        FileFailed, // the image file could not be loaded (verify): nothing was sent
        Declined,   // the installer would not write without the unread registers: nothing was sent
    };

    // Asks whether the slot (0..19) is ticked; asked as the scan reaches it.
    using TickedSlot = std::function<bool(int slot)>;
    // Told the reason a save failed; answers whether to try the save again.
    using SaveFailure = std::function<bool(const QString &reason)>;
    // Told, before a write run, which registers of the ticked controllers
    // hold no value of the house and whether they are written; answers
    // whether to go on. Without one the text goes on the status line.
    using UnreadWarning = std::function<bool(const QString &text)>;

    SystemLoader(SerialLink &link, WaitClock &clock, BackupFile &file, QObject *parent = nullptr);

    void setSaveFailureHandler(SaveFailure handler) { m_saveFailure = std::move(handler); }
    void setUnreadWarning(UnreadWarning handler) { m_unreadWarning = std::move(handler); }
    // Whether the write run writes the registers not read from the house too (off).
    void setIncludeUnread(bool include) { m_includeUnread = include; }
    // The quick exchange to use while quick mode is on; none: always the full wait.
    void setQuickExchange(QuickExchange *quick) { m_quickExchange = quick; }
    void setQuick(bool quick) { m_quick = quick; }
    bool isQuick() const { return m_quick && m_quickExchange != nullptr; }
    // Wait units the error count stays on show at the end of a run (20).
    void setCountDisplay(int units) { m_countDisplay = units; }

    // Reads every register of every ticked slot, clears the presence marker of
    // every unticked one, saves the whole image, shows the error count for 20
    // wait units and resets the status line.
    RunEnd ReadRun(const TickedSlot &ticked);
    // Writes the image into every ticked slot, but for the registers not read
    // from the house unless they are asked for (it says which before it
    // starts); shows the error count for 20 wait units only when there were
    // errors. The image is never changed.
    RunEnd WriteRun(const TickedSlot &ticked);
    // Loads the image file and its record afresh and reads every ticked slot
    // as the read run does, comparing each register with the file; a register
    // the record lists is not asked for. Neither the image nor the file changes.
    RunEnd VerifyRun(const TickedSlot &ticked);

    // One controller's registers, into or out of image slot `slot`. False
    // when the run has to end (port failure, window closing, the installer's stop).
    bool ReadController(int slot);
    bool WriteController(int slot);

    bool isRunning() const { return m_running; }
    int errorCount() const { return m_errorCount; }
    const RunProgress &progress() const { return m_progress; }
    const VerifyResult &verifyResult() const { return m_verify; }
    // Why the last read run's save failed; empty when it did not.
    const QString &saveError() const { return m_saveError; }
    // The registers the last read run failed to read, and those the last
    // write or verify run passed over as not read from the house.
    const QList<UnreadRegister> &failedReads() const { return m_failedReads; }
    const QList<UnreadRegister> &skipped() const { return m_skipped; }

    // The installer's stop: the run ends after the exchange in progress, an
    // error count on show is taken down. Nothing when no run is in progress.
    void requestStop();
    // The window is closing: ends a running wait and refuses every later one.
    void stop();

signals:
    void statusChanged(const QString &text);
    void progressChanged(const RunProgress &progress);

private:
    enum class Exchanged
    {
        Judge,
        LinkFailed,
        Stopped
    };
    using RegisterRead =
        std::function<void(int registerNumber, const std::optional<RegisterValues> &)>;
    bool ReadRegisters(int slot, const RegisterRead &take);
    QList<int> RegistersOf(int slot) const;
    void NoteSkipped(int slot);
    Exchanged ReadRegister(int address, int registerNumber, std::optional<RegisterValues> &values);
    Exchanged WriteRegister(const QByteArray &request, int address, bool &acknowledged);
    Exchanged Exchange(const QByteArray &request);
    Exchanged QuickOutcome(QuickExchange::Outcome outcome);
    QString SaveWithRetry(QString *said);
    std::optional<RunEnd> RefuseRun();
    void StartRun(const TickedSlot &ticked);
    RunEnd EndRun(RunEnd end);
    RunEnd EndOnLinkFailure(const QString &consequence);
    RunEnd ShowErrorCountThenReset(const QString &finalStatus);
    void CountSlot(int slot, const TickedSlot &ticked);
    void RegisterDone(bool lastOfController);
    bool StopDue() const { return m_stopRequested; }

    SerialLink &m_link;
    WaitClock &m_clock;
    WaitedExchange m_exchange;
    BackupFile &m_file;
    SystemImage &m_image;
    SaveFailure m_saveFailure;
    UnreadWarning m_unreadWarning;
    bool m_includeUnread = false;
    const UnreadRegisters *m_skip = nullptr; // passed over in this run
    QuickExchange *m_quickExchange = nullptr;
    bool m_quick = false;
    int m_countDisplay = 20;
    int m_errorCount = 0;
    bool m_running = false;
    bool m_stopped = false;
    bool m_stopRequested = false;
    bool m_showingCount = false; // the error count's wait is running
    bool m_linkFailed = false;   // the port failed or refused a request during this run
    bool m_runQuick = false;     // quick mode as it stood when the run started
    RunProgress m_progress;
    QElapsedTimer m_runClock;
    int m_lastAddress = -1;
    int m_lastRegister = -1;
    VerifyResult m_verify;
    QString m_saveError;
    QList<UnreadRegister> m_failedReads;
    QList<UnreadRegister> m_skipped;
};

Q_DECLARE_METATYPE(RunProgress)
