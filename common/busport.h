#pragma once

#include "exacttimer.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class PortBackend;

// Hears every byte that goes over a port, for the exchange log. It must
// return at once: it is called in the middle of an exchange.
class BusTap
{
public:
    virtual ~BusTap();
    // Bytes the tool has put on the wire.
    virtual void sent(const QByteArray &bytes) = 0;
    // Bytes of one receive event, each told once.
    virtual void received(const QByteArray &bytes) = 0;
};

// Why a port is not open, or what went wrong with it in use.
enum class PortError
{
    None,
    NotOpen,     // never opened, or closed
    Missing,     // no such device
    Denied,      // the user may not use the device
    Busy,        // the device is held by another program
    OpenFailed,  // refused for another reason, which the system gives
    NotSent,     // the device did not take the bytes, for the reason the system gives
    Unplugged,   // the device went away while in use
    AccessLost,  // the right to use the device was withdrawn while in use
    ReadFailed,  // the device failed while reading
    WriteFailed, // the device failed while writing
};

// What the installer reads of a port's problem, naming the device: whether
// the port is open at all, why it could not be opened and what to do about
// it, and how it failed in use. `systemText` is the system's own reason,
// given where no words of the tools' own fit.
QString PortErrorText(PortError error, const QString &device, const QString &systemText = {});

// The controllers' bus as every tool reaches it: put bytes on the wire, take
// every byte waiting, and hear when a burst of bytes has arrived. The device
// under it (a serial device, a pseudo-terminal, ...) is a backend the port
// picks from the device text when it opens; what the bus needs of every
// device lives here once: bytes that come in pieces form one receive event,
// raised when the line has been quiet for the burst gap; the exchange log's
// tap hears each byte once; and every problem is one of the kinds above.
class BusPort : public QObject
{
    Q_OBJECT
public:
    // Quiet time that ends one burst of received bytes. A USB adapter hands
    // bytes over on a latency timer of up to 16 ms, so a reply of 7 ms on the
    // wire may come in two deliveries up to that far apart; 20 ms still lies
    // well inside the shortest wait for a reply (100 ms).
    static constexpr std::chrono::milliseconds DefaultBurstGap{20};
    // The most bytes the port keeps waiting when nobody takes them: between
    // runs, while reception is closed, or on a noisy line whose burst never
    // falls quiet. The oldest go first, as from a serial driver's full input
    // buffer. A reply is a few dozen bytes, taken when its burst ends, so in
    // normal operation nothing an exchange waits for is lost.
    static constexpr qsizetype WaitingLimit = 4096;

    // A port that picks its device's backend each time it opens.
    explicit BusPort(QObject *parent = nullptr);
    // A port on one backend, already named: tests drive the bus through it.
    BusPort(std::unique_ptr<PortBackend> backend, const QString &device, QObject *parent = nullptr);
    ~BusPort() override;

    // Opens the device with the bus settings (19200 baud, 8 data bits, no
    // parity, 1 stop bit, no flow control). False when it cannot be opened;
    // errorText() names the device and says why.
    bool open(const QString &device);
    void close();

    bool isOpen() const;
    // The device the port stands for ("/dev/ttyS0", "COM1", a pseudo-terminal).
    QString deviceName() const { return m_device; }
    // Puts exactly these bytes on the wire, in order. False when they could
    // not be sent; errorText() then says why.
    bool write(const QByteArray &bytes);
    // Every byte waiting in the port's input (the newest WaitingLimit of
    // them), removed from it.
    QByteArray takeAll();
    // Drops every byte waiting and the burst still coming in: bytes that
    // belong to no request of the exchange about to start. No receive event
    // follows for them.
    void discardWaiting();
    // Raises now the receive event of a burst still inside its quiet time;
    // nothing when no burst has begun. Called when a wait for a reply ends.
    void deliverPending();
    // Bytes have arrived whose receive event is still to come, or are on
    // their way in from the device.
    bool burstInProgress() const;
    void setBurstGap(std::chrono::milliseconds gap) { m_burst.setInterval(gap); }

    // Why the port is not open, or why the last write failed; None while it
    // is open and well.
    PortError error() const;
    QString errorText() const;

    // The watcher of the port's traffic, or none (the port then spends
    // nothing on it). The port does not own it.
    void setTap(BusTap *tap) { m_tap = tap; }
    BusTap *tap() const { return m_tap; }

signals:
    // Bytes have arrived and are waiting: one receive event.
    void received();
    // The port failed while in use (adapter removed, peer gone); raised once,
    // after which the port is closed.
    void failed(const QString &text);

protected:
    PortBackend *backend() const { return m_backend.get(); }

private:
    void attach(std::unique_ptr<PortBackend> backend);
    void arrived();
    void endOfBurst();
    void dropOldest();
    void deviceFailed(PortError error);
    bool deviceOpen() const;

    std::unique_ptr<PortBackend> m_backend;
    bool m_fixedBackend = false;
    ExactTimer m_burst;
    BusTap *m_tap = nullptr;
    QString m_device;
    PortError m_error = PortError::None;
    QString m_systemText;
    bool m_failed = false;
    QByteArray m_waiting; // received, not yet taken
    qsizetype m_told = 0; // waiting bytes the tap has already heard of
};

// A port on `device`, opened, or with the reason it could not be opened.
std::unique_ptr<BusPort> OpenBusPort(const QString &device, QObject *parent = nullptr);
