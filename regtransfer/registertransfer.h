#pragma once

#include "exacttimer.h"
#include "seriallink.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <optional>

// The status line texts of the two runs, with their exact blanks.
namespace TransferText {
// A register frame has gone out; writePos counts from 1 for register 0.
QString WriteProgress(int writePos);
// "Статус:" and 27 blanks: the write run has ended, every register
// acknowledged.
QString WriteDone();
// The write run has ended and `missing` of its `total` registers were not
// acknowledged, the first of them register `firstMissing`.
QString WriteUnconfirmed(int missing, int total, int address, int firstMissing);
// The reply judged at tick c was good and is stored.
QString ReadProgress(int readCounter);
// A reply of the right form whose checksum disagrees.
QString ReadChecksumError();
// Bytes came at tick c, but not a register reply of this controller.
QString ReadForeign(int readCounter);
// "Статус:" and 32 blanks: the read run has ended.
QString ReadDone();
// A run cannot start because the port is not open.
QString WriteNotStarted(const QString &reason);
QString ReadNotStarted(const QString &reason);
// An image value that is not a byte is never put on the wire.
QString NotAByte(int reg, int cell, int value, bool started);
// The port failed during a run.
QString Interrupted(const QString &reason);
// A file button pressed during a run: the file is left alone, and so is the
// memory the run sends or fills.
QString FileNotSaved();
QString FileNotLoaded();
// A run button pressed during a run: the run goes on, no other starts.
QString RunInProgress();
} // namespace TransferText

// What a tool tells the engine about its controller and its memory.
struct RegisterTransferSetup
{
    // Bus address of the controller, asked once when a run is accepted (before
    // its image is checked); the run keeps that address to its end, whatever
    // the tool selects meanwhile. Callbacks that must follow the same
    // controller ask RegisterTransfer::runAddress().
    std::function<int()> address;
    // Registers 0 .. registerCount - 1 make up the block.
    int registerCount = 0;
    // Byte k (0..7) of register reg as the tool holds it. A value outside
    // 0..255 is refused, never sent.
    std::function<int(int reg, int k)> cell;
    // Stores the eight data bytes of a good reply for register reg.
    std::function<void(int reg, const std::array<int, 8> &bytes)> storeRegister;
    // Refreshes the tool's view of its memory when a read run ends.
    std::function<void()> readRunEnded;
    // A tick of the write timer while the tool runs work of its own on it
    // (run modes other than 0, 10 and 20). May be empty.
    std::function<void()> ownWriteTimerTick;
    // Tick length of both timers; tests pass a shorter one.
    std::chrono::milliseconds tick{250};
};

// The write run sends every register of the block, one WriteRegisterBlock
// frame per tick of Timer1, and judges at each tick the controller's answer to
// the frame of the tick before: registers not acknowledged are counted and
// named at the end, never sent again. The read run requests the
// registers one per tick of Timer2; the reply to each request is judged at the
// next tick, and every receive event restarts Timer2, so a reply is judged only
// once its bytes have stopped coming, or, on a line whose noise never stops,
// PutOffLimitTicks after the tick it was due at. Only one run is active at a
// time, and the port's input is taken during every run, so that no answer
// waits there for a later one.
class RegisterTransfer : public QObject
{
    Q_OBJECT
public:
    // What a tick of either timer and a receive event do.
    enum class RunMode : int
    {
        NoRun = 0,
        WriteRun = 10,
        ReadRun = 20,
        // From here on, one mode a step: work of the tool's own on the write
        // timer (voxbook's scenario test goes from 30 to 39).
        OwnRun = 30,
    };

    // Bytes that keep coming put a step of the read run off by at most this
    // many ticks (1 s at the production tick); the reply is then judged on
    // the bytes as they stand. A reply in pieces ends well inside one tick.
    static constexpr int PutOffLimitTicks = 4;

    // Uses the link, whose reception it holds open while a run is active;
    // does not own it.
    RegisterTransfer(SerialLink *link, RegisterTransferSetup setup, QObject *parent = nullptr);

    RunMode runMode() const { return m_runMode; }
    bool isActive() const { return m_runMode != RunMode::NoRun; }
    int writePos() const { return m_writePos; }
    int readCounter() const { return m_readCounter; }
    // The controller of the run that is active or was last started.
    int runAddress() const { return m_runAddress; }
    std::chrono::milliseconds tick() const { return m_setup.tick; }
    const QTimer &Timer1() const { return m_timer1.timer(); }
    const QTimer &Timer2() const { return m_timer2.timer(); }
    QString status() const { return m_status; }

    // Start the write or the read run. Refused (false) while any run is
    // active, saying so; refused with a status when the port is not open or,
    // for the write run, when the image holds a value that is not a byte.
    bool startWriteRun();
    bool startReadRun();

    // Work of the tool's own on the write timer: runMode becomes OwnRun (its
    // step 0), Timer1 ticks every `interval` and each tick calls
    // ownWriteTimerTick. Refused while any run is active.
    bool beginOwnRun(std::chrono::milliseconds interval);
    // The step of the tool's own run: runMode is OwnRun + step. -1 when no
    // such run is active.
    int ownRunStep() const;
    void setOwnRunStep(int step);
    // Stops Timer1, gives it back its tick and ends the run.
    void endOwnRun();
    // Ends whatever run is active, with this status.
    void abortRun(const QString &status);

    void Timer1_Timer();
    void Timer2_Timer();

signals:
    void statusChanged(const QString &text);

private:
    // True, and says so, while a run is active.
    bool refusedDuringRun();
    void writeStep();
    // A step of the read run at a tick of Timer2, or once it has been put
    // off to the limit.
    void readStep(bool limitReached);
    void stopReadTimers();
    // Drops what waits in the port from before the run and begins it.
    void beginRun(RunMode mode);
    // Reception is open exactly while a run is active.
    void setRunMode(RunMode mode);
    void judgeReply(int readCounter);
    void onReplyStored();
    void setStatus(const QString &text);
    // The first byte of registers from..registerCount-1 that is not a byte
    // value: {register, cell, value}, or register -1 when all are bytes.
    std::array<int, 3> firstBadCell(int from, int to) const;

    SerialLink *m_link;
    RegisterTransferSetup m_setup;
    ExactTimer m_timer1;
    ExactTimer m_timer2;
    ExactTimer m_readLimit; // the latest moment of the read run's next step
    RunMode m_runMode = RunMode::NoRun;
    std::optional<ReceptionGate> m_reception;
    int m_writePos = 0;
    int m_readCounter = 0;
    int m_unacknowledged = 0;
    int m_firstUnacknowledged = 0;
    int m_runAddress = 0;
    QString m_status;
};
