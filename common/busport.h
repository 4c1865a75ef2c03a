#pragma once

#include "exacttimer.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <chrono>

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

// The narrow face of the serial port that the link uses: put bytes on the
// wire, take every byte waiting, and hear when bytes have arrived. The link
// never touches QSerialPort itself, so tests can drive it with a port of
// their own making.
class BusPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~BusPort() override;

    virtual bool isOpen() const = 0;
    // The device the port stands for ("/dev/ttyS0", "COM1", a pseudo-terminal).
    virtual QString deviceName() const = 0;
    // Puts exactly these bytes on the wire, in order. False when they could
    // not be sent; errorText() then says why.
    virtual bool write(const QByteArray &bytes) = 0;
    // Every byte waiting in the port's input, removed from it.
    virtual QByteArray takeAll() = 0;
    // Why the port is not open, or why the last write failed.
    virtual QString errorText() const = 0;
    // Raises now the receive event of bytes that have arrived but have not
    // yet been told (a burst still inside its quiet time); nothing when there
    // are none. Called when a wait for a reply ends.
    virtual void deliverPending() {}

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

private:
    BusTap *m_tap = nullptr;
};

// The controllers' bus on a serial device at 19200 baud, 8 data bits, no
// parity, 1 stop bit, no flow control.
class SerialBusPort : public BusPort
{
    Q_OBJECT
public:
    static constexpr const char *DeviceVariable = "UMD_SERIAL_PORT";
    // Quiet time that ends one burst of received bytes. A USB adapter hands
    // bytes over on a latency timer of up to 16 ms, so a reply of 7 ms on the
    // wire may come in two deliveries up to that far apart; 20 ms still lies
    // well inside the shortest wait for a reply (100 ms).
    static constexpr std::chrono::milliseconds DefaultBurstGap{20};

    explicit SerialBusPort(QObject *parent = nullptr);
    ~SerialBusPort() override;

    // The device named by UMD_SERIAL_PORT when it is set, else "port 1", the
    // platform's first serial port (/dev/ttyS0, or COM1 on Windows). A tool's
    // command line and its remembered choice come first (ChoosePort()).
    static QString DefaultDevice();

    // Opens the device with the bus settings. False when it cannot be opened;
    // errorText() names the device and gives the system's reason.
    bool open(const QString &device);
    void close();
    void setBurstGap(std::chrono::milliseconds gap) { m_burst.setInterval(gap); }

    bool isOpen() const override;
    QString deviceName() const override { return m_device; }
    bool write(const QByteArray &bytes) override;
    QByteArray takeAll() override;
    QString errorText() const override { return m_error; }
    void deliverPending() override;

private:
    void onError(QSerialPort::SerialPortError error);
    void endOfBurst();

    QSerialPort m_port;
    ExactTimer m_burst;
    QString m_device;
    QString m_error;
    bool m_failed = false;
    qint64 m_told = 0; // waiting bytes the tap has already heard of
};
