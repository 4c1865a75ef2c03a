#pragma once

#include "systemimage.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class SerialLink;
class WaitClock;

// The two runs of the system loader: the read run fills the image from every
// ticked controller, one register per request, and saves it to the image
// file; the write run sends the image back into every ticked controller. Each
// register is one exchange: the request goes out, the wait clock runs one
// unit in full, then whatever stands in the reply buffer is judged once.
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
    };

    // Asks whether the slot (0..19) is ticked; asked as the scan reaches it.
    using TickedSlot = std::function<bool(int slot)>;
    // Told the reason a save failed; answers whether to try the save again.
    using SaveFailure = std::function<bool(const QString &reason)>;

    SystemLoader(SerialLink &link, WaitClock &clock, SystemImage &image, QString imagePath,
                 QObject *parent = nullptr);

    void setSaveFailureHandler(SaveFailure handler) { m_saveFailure = std::move(handler); }

    // Reads every register of every ticked slot, clears the presence marker of
    // every unticked one, saves the whole image, shows the error count for 20
    // wait units and resets the status line.
    RunEnd ReadRun(const TickedSlot &ticked);
    // Writes the image into every ticked slot; shows the error count for 20
    // wait units only when there were errors. The image is never changed.
    RunEnd WriteRun(const TickedSlot &ticked);

    // One controller's registers 0 .. count - 1, into or out of image slot
    // `slot`. False when the run has to end (port failure, window closing).
    bool ReadController(int address, int count, int slot);
    bool WriteController(int address, int count, int slot);

    bool isRunning() const { return m_running; }
    int errorCount() const { return m_errorCount; }

    // The window is closing: ends a running wait and refuses every later one.
    void stop();

signals:
    void statusChanged(const QString &text);

private:
    enum class Exchanged
    {
        Judge,
        LinkFailed,
        Stopped
    };
    Exchanged Exchange(const QByteArray &request);
    std::optional<RegisterValues> JudgeRegisterReply(int address, int registerNumber);
    bool IsAcknowledged(int address) const;
    QString SaveWithRetry();
    std::optional<RunEnd> RefuseRun();
    RunEnd EndOnLinkFailure(const QString &consequence);
    RunEnd ShowErrorCountThenReset(const QString &finalStatus);

    SerialLink &m_link;
    WaitClock &m_clock;
    SystemImage &m_image;
    QString m_imagePath;
    SaveFailure m_saveFailure;
    int m_errorCount = 0;
    bool m_running = false;
    bool m_stopped = false;
    bool m_linkFailed = false; // the port failed or refused a request during this run
};
