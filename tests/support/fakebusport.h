#pragma once

#include "busport.h"

// A port that the test drives by hand: bytes "arrive" in receive events of
// exactly the sizes the test chooses, and every write is kept.
class FakeBusPort : public BusPort
{
    Q_OBJECT
public:
    using BusPort::BusPort;

    bool open = true;
    QByteArray written;
    QByteArray waiting; // bytes in the port's input, not yet taken
    int takeCount = 0;
    int writesLeft = -1; // taken before the port closes, raising no failure; -1: no end

    // Bytes arrive and the port raises one receive event.
    void arrive(const QByteArray &bytes)
    {
        waiting += bytes;
        emit received();
    }
    bool isOpen() const override { return open; }
    QString deviceName() const override { return QStringLiteral("fake"); }
    bool write(const QByteArray &bytes) override
    {
        if (writesLeft-- == 0)
            open = false;
        if (!open)
            return false;
        written += bytes;
        return true;
    }
    QByteArray takeAll() override
    {
        ++takeCount;
        return std::exchange(waiting, {});
    }
    QString errorText() const override
    {
        return open ? QString() : QStringLiteral("Порт fake не открыт");
    }
};
