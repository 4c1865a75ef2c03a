#include "portbackend.h"

#include <QFileInfo>
#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#endif

namespace {

// Whether the user may read and write the device at all: tells a device
// refused for want of rights from one held by another program.
bool DeviceAccessible(const QString &device)
{
#ifdef Q_OS_UNIX
    const QFileInfo file(device.startsWith(u'/') ? device : QStringLiteral("/dev/") + device);
    return file.isReadable() && file.isWritable();
#else
    Q_UNUSED(device);
    return true;
#endif
}

// A serial device at 19200 baud, 8 data bits, no parity, 1 stop bit, no
// flow control.
class SerialBackend : public PortBackend
{
public:
    SerialBackend()
    {
        connect(&m_port, &QSerialPort::readyRead, this, &PortBackend::arrived);
        connect(&m_port, &QSerialPort::errorOccurred, this, &SerialBackend::onError);
    }

    PortError open(const QString &device, QString *systemText) override
    {
        m_port.setPortName(device);
        m_port.setBaudRate(QSerialPort::Baud19200);
        m_port.setDataBits(QSerialPort::Data8);
        m_port.setParity(QSerialPort::NoParity);
        m_port.setStopBits(QSerialPort::OneStop);
        m_port.setFlowControl(QSerialPort::NoFlowControl);
        if (m_port.open(QIODevice::ReadWrite))
            return PortError::None;
        *systemText = m_port.errorString();
        switch (m_port.error()) {
        case QSerialPort::DeviceNotFoundError:
            return PortError::Missing;
        case QSerialPort::PermissionError:
            return DeviceAccessible(device) ? PortError::Busy : PortError::Denied;
        default:
            return PortError::OpenFailed;
        }
    }

    void close() override { m_port.close(); }
    bool isOpen() const override { return m_port.isOpen(); }

    bool write(const QByteArray &bytes, QString *systemText) override
    {
        if (m_port.write(bytes) != bytes.size()) {
            *systemText = m_port.errorString();
            return false;
        }
        // Hand the bytes to the driver now rather than at the next turn of
        // the event loop, so that the wait for the reply starts when they are
        // on their way.
        m_port.flush();
        return true;
    }

    QByteArray readAll() override { return m_port.readAll(); }

    bool holdsUnread() const override
    {
        // Asked, not read: the device's own notice of these bytes may already
        // be on its way, and a read now would leave it to find nothing, which
        // the device reports as a failure.
#ifdef Q_OS_UNIX
        int count = 0;
        return ::ioctl(m_port.handle(), FIONREAD, &count) == 0 && count > 0;
#else
        return false;
#endif
    }

private:
    void onError(QSerialPort::SerialPortError error)
    {
        switch (error) {
        case QSerialPort::ResourceError:
            emit failed(PortError::Unplugged);
            break;
        case QSerialPort::PermissionError:
            emit failed(PortError::AccessLost);
            break;
        case QSerialPort::ReadError:
            emit failed(PortError::ReadFailed);
            break;
        case QSerialPort::WriteError:
            emit failed(PortError::WriteFailed);
            break;
        default:
            break; // a timeout of a poll, or a problem of opening, told by open()
        }
    }

    QSerialPort m_port;
};

} // namespace

std::unique_ptr<PortBackend> NewSerialBackend()
{
    return std::make_unique<SerialBackend>();
}
