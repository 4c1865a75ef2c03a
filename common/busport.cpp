#include "busport.h"

#include "portchoice.h"

#include <QFileInfo>
#include <QtGlobal>

namespace {

// What a failure of an open port means to the installer. The system's own
// text is no help here: after a pulled adapter it is often that of a stale
// "try again", and in English.
QString FailureReason(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
        return QStringLiteral("устройство отключено");
    case QSerialPort::PermissionError:
        return QStringLiteral("нет доступа к устройству");
    case QSerialPort::ReadError:
        return QStringLiteral("ошибка чтения");
    default:
        return QStringLiteral("ошибка записи");
    }
}

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

} // namespace

BusTap::~BusTap() = default;

BusPort::~BusPort() = default;

SerialBusPort::SerialBusPort(QObject *parent) : BusPort(parent)
{
    // The port may report a reply in several pieces as the driver hands them
    // over. The bytes of one burst are told to the link as one receive event,
    // raised when the line has been quiet for the burst gap, so that a reply
    // is stored whole from the start of its eight-slot block.
    m_burst.setSingleShot(true);
    m_burst.setInterval(DefaultBurstGap);
    connect(&m_burst.timer(), &QTimer::timeout, this, &SerialBusPort::endOfBurst);
    connect(&m_port, &QSerialPort::readyRead, this, [this] { m_burst.start(); });
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialBusPort::onError);
}

SerialBusPort::~SerialBusPort() = default;

QString SerialBusPort::DefaultDevice()
{
    const QString named = qEnvironmentVariable(DeviceVariable);
    return named.isEmpty() ? PlatformFirstPort() : named;
}

bool SerialBusPort::open(const QString &device)
{
    close();
    m_device = device;
    m_failed = false;
    m_error.clear();
    m_told = 0;
    m_port.setPortName(device);
    m_port.setBaudRate(QSerialPort::Baud19200);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_error =
            OpenFailureText(device, m_port.error(), DeviceAccessible(device), m_port.errorString());
        return false;
    }
    return true;
}

void SerialBusPort::close()
{
    m_burst.stop();
    if (m_port.isOpen())
        m_port.close();
}

bool SerialBusPort::isOpen() const
{
    // A failed port is closed as soon as control is back in the event loop;
    // until then it already counts as closed, so that a wait ending just
    // after the failure does not judge a reply that never came.
    return m_port.isOpen() && !m_failed;
}

bool SerialBusPort::write(const QByteArray &bytes)
{
    if (!m_port.isOpen()) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("Порт %1 не открыт").arg(m_device);
        return false;
    }
    if (m_port.write(bytes) != bytes.size()) {
        m_error =
            QStringLiteral("Порт %1: байты не отправлены: %2").arg(m_device, m_port.errorString());
        return false;
    }
    // Hand the bytes to the driver now rather than at the next turn of the
    // event loop, so that the wait for the reply starts when they are on their way.
    m_port.flush();
    if (BusTap *watcher = tap())
        watcher->sent(bytes);
    return !m_failed; // the flush may have found the device gone
}

void SerialBusPort::deliverPending()
{
    if (!isOpen())
        return;
    // Bytes the system already holds but the event loop has not handed over
    // yet join the burst too. Finding none is no error of the port.
    if (!m_port.waitForReadyRead(0))
        m_port.clearError();
    if (!m_burst.isActive())
        return;
    m_burst.stop();
    emit received();
}

QByteArray SerialBusPort::takeAll()
{
    if (!m_port.isOpen())
        return {};
    const QByteArray bytes = m_port.readAll();
    // Bytes that came after the end of their burst was told are told now.
    if (BusTap *watcher = tap(); watcher && bytes.size() > m_told)
        watcher->received(bytes.mid(m_told));
    m_told = 0;
    return bytes;
}

void SerialBusPort::endOfBurst()
{
    // The watcher hears of a burst when it ends, whether or not the link
    // takes the bytes now: foreign traffic outside a wait is seen too.
    if (BusTap *watcher = tap(); watcher && m_port.isOpen()) {
        const qint64 waiting = m_port.bytesAvailable();
        if (waiting > m_told) {
            watcher->received(m_port.peek(waiting).mid(m_told));
            m_told = waiting;
        }
    }
    emit received();
}

void SerialBusPort::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    if (!m_port.isOpen() || m_failed)
        return; // errors of opening are told by open(); a failure is told once
    if (error != QSerialPort::ResourceError && error != QSerialPort::PermissionError &&
        error != QSerialPort::ReadError && error != QSerialPort::WriteError)
        return;
    m_failed = true;
    m_error = QStringLiteral("Порт %1 отказал и закрыт: %2").arg(m_device, FailureReason(error));
    // Closing from inside the port's own error signal is not safe; close once
    // control is back in the event loop.
    QTimer::singleShot(0, this, [this] { close(); });
    emit failed(m_error);
}
