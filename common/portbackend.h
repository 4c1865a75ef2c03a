#pragma once

#include "busport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

// One kind of device the bus can be reached through. It only opens the
// device with the bus settings, moves raw bytes and says what went wrong;
// BusPort does everything the bus needs on top of it.
class PortBackend : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~PortBackend() override;

    // PortError::None when the device is open; else the kind, and in
    // `systemText` the system's own reason.
    virtual PortError open(const QString &device, QString *systemText) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Hands the bytes to the device now, not at the next turn of the event
    // loop. False when the device did not take them (the reason in
    // `systemText`); a failure found on the way is raised by failed().
    virtual bool write(const QByteArray &bytes, QString *systemText) = 0;
    // Every byte the device holds, removed from it.
    virtual QByteArray readAll() = 0;
    // Whether the system holds bytes of the device that arrived() has not
    // told of yet (they came a moment ago).
    virtual bool holdsUnread() const { return false; }

signals:
    // Bytes are waiting to be read.
    void arrived();
    // The device failed while open; the port closes it.
    void failed(PortError error);
};

// A serial device: /dev/ttyS0, /dev/ttyUSB0, a pseudo-terminal, COM1.
std::unique_ptr<PortBackend> NewSerialBackend();

// The backend for a device text. Every kind of device the tools reach is
// chosen here, and only here.
inline std::unique_ptr<PortBackend> NewBackend(const QString &device)
{
    Q_UNUSED(device);
    return NewSerialBackend();
}
