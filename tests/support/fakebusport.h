#pragma once

#include "busport.h"
#include "portbackend.h"

#include <functional>

// A port that the test drives by hand: bytes "arrive" in receive events of
// exactly the sizes the test chooses, and every write is kept.
class FakeBusPort : public BusPort
{
    Q_OBJECT

    struct Device : PortBackend
    {
        bool up = true;
        QByteArray written;
        QByteArray waiting;
        int writesLeft = -1;
        std::function<void(const QByteArray &)> onWrite;

        PortError open(const QString &, QString *) override { return PortError::None; }
        void close() override {}
        bool isOpen() const override { return up; }
        bool write(const QByteArray &bytes, QString *) override
        {
            if (writesLeft-- == 0)
                up = false;
            if (!up)
                return false;
            written += bytes;
            if (onWrite)
                onWrite(bytes);
            return true;
        }
        QByteArray readAll() override { return std::exchange(waiting, {}); }
    };

    Device *m_device;

public:
    FakeBusPort()
        : BusPort(std::make_unique<Device>(), QStringLiteral("fake")),
          m_device(static_cast<Device *>(backend())), open(m_device->up),
          written(m_device->written), waiting(m_device->waiting), writesLeft(m_device->writesLeft),
          onWrite(m_device->onWrite)
    {}

    bool &open;
    QByteArray &written;
    QByteArray &waiting; // bytes in the port's input, not yet taken
    int &writesLeft;     // taken before the port closes, raising no failure; -1: no end
    std::function<void(const QByteArray &)> &onWrite; // after each write taken

    // Bytes arrive and the port raises one receive event.
    void arrive(const QByteArray &bytes)
    {
        waiting += bytes;
        emit received();
    }
    // Bytes come as a device hands them over: the port reads them, and their
    // receive event follows once the line has been quiet for the burst gap.
    void deliver(const QByteArray &bytes)
    {
        waiting += bytes;
        emit m_device->arrived();
    }
};
