#include "busport.h"

#include "portbackend.h"
#include "systemerror.h"

#include <QTimer>

#include <algorithm>
#include <utility>

BusTap::~BusTap() = default;

PortBackend::~PortBackend() = default;

QString PortErrorText(PortError error, const QString &device, const QString &systemText)
{
    const QString notOpen = QStringLiteral("Порт %1 не открыт").arg(device);
    const QString failed = QStringLiteral("Порт %1 отказал и закрыт: ").arg(device);
    switch (error) {
    case PortError::None:
        return {};
    case PortError::NotOpen:
        return notOpen;
    case PortError::Missing:
        return notOpen + QStringLiteral(": такого устройства нет; выберите порт в меню «Порт»");
    case PortError::Denied:
#ifdef Q_OS_LINUX
        return notOpen + QStringLiteral(": нет прав на устройство; добавьте пользователя в "
                                        "группу dialout (sudo usermod -aG dialout $USER) и "
                                        "войдите в систему заново");
#else
        return notOpen + QStringLiteral(": нет доступа к устройству");
#endif
    case PortError::Busy:
        return notOpen + QStringLiteral(": порт занят другой программой");
    case PortError::OpenFailed:
        return notOpen + QStringLiteral(": ") + SystemReason(systemText);
    case PortError::NotSent:
        return QStringLiteral("Порт %1: байты не отправлены: %2")
            .arg(device, SystemReason(systemText));
    // The system's own text is no help once the port was in use: after a
    // pulled adapter it is often that of a stale "try again", and in English.
    case PortError::Unplugged:
        return failed + QStringLiteral("устройство отключено");
    case PortError::AccessLost:
        return failed + QStringLiteral("нет доступа к устройству");
    case PortError::ReadFailed:
        return failed + QStringLiteral("ошибка чтения");
    case PortError::WriteFailed:
        return failed + QStringLiteral("ошибка записи");
    }
    return {};
}

BusPort::BusPort(QObject *parent) : QObject(parent)
{
    // The device may report a reply in several pieces as its driver hands
    // them over. The bytes of one burst are told to the link as one receive
    // event, raised when the line has been quiet for the burst gap, so that a
    // reply is stored whole from the start of its eight-slot block.
    m_burst.setSingleShot(true);
    m_burst.setInterval(DefaultBurstGap);
    connect(&m_burst.timer(), &QTimer::timeout, this, &BusPort::endOfBurst);
}

BusPort::BusPort(std::unique_ptr<PortBackend> backend, const QString &device, QObject *parent)
    : BusPort(parent)
{
    m_device = device;
    m_fixedBackend = true;
    attach(std::move(backend));
}

BusPort::~BusPort()
{
    close();
}

void BusPort::attach(std::unique_ptr<PortBackend> backend)
{
    m_backend = std::move(backend);
    connect(m_backend.get(), &PortBackend::arrived, this, &BusPort::arrived);
    connect(m_backend.get(), &PortBackend::failed, this, &BusPort::deviceFailed);
}

bool BusPort::open(const QString &device)
{
    close();
    m_device = device;
    m_failed = false;
    m_error = PortError::None;
    m_systemText.clear();
    if (!m_fixedBackend)
        attach(NewBackend(device));
    m_error = m_backend->open(device, &m_systemText);
    return m_error == PortError::None;
}

void BusPort::close()
{
    m_burst.stop();
    m_waiting.clear();
    m_told = 0;
    if (deviceOpen())
        m_backend->close();
}

bool BusPort::deviceOpen() const
{
    return m_backend && m_backend->isOpen();
}

bool BusPort::isOpen() const
{
    // A failed device is closed as soon as control is back in the event loop;
    // until then it already counts as closed, so that a wait ending just
    // after the failure does not judge a reply that never came.
    return deviceOpen() && !m_failed;
}

PortError BusPort::error() const
{
    if (m_error == PortError::None && !isOpen())
        return PortError::NotOpen;
    return m_error;
}

QString BusPort::errorText() const
{
    return PortErrorText(error(), m_device, m_systemText);
}

bool BusPort::write(const QByteArray &bytes)
{
    if (!deviceOpen()) {
        if (m_error == PortError::None)
            m_error = PortError::NotOpen;
        return false;
    }
    QString why;
    if (!m_backend->write(bytes, &why)) {
        // A device that closed under the write is simply no longer open.
        m_error = m_backend->isOpen() ? PortError::NotSent : PortError::NotOpen;
        m_systemText = why;
        return false;
    }
    if (m_tap != nullptr)
        m_tap->sent(bytes);
    return !m_failed; // the device may have been found gone on the way
}

void BusPort::arrived()
{
    m_waiting += m_backend->readAll();
    dropOldest();
    m_burst.start();
}

void BusPort::dropOldest()
{
    const qsizetype excess = m_waiting.size() - WaitingLimit;
    if (excess <= 0)
        return;
    // The watcher still hears of every byte, those dropped unread too: the
    // log shows the noise that took them.
    if (m_tap != nullptr && excess > m_told)
        m_tap->received(m_waiting.mid(m_told, excess - m_told));
    m_told = std::max<qsizetype>(m_told - excess, 0);
    m_waiting.remove(0, excess);
}

QByteArray BusPort::takeAll()
{
    if (!deviceOpen())
        return {};
    m_waiting += m_backend->readAll();
    // Bytes that came after the end of their burst was told are told now.
    if (m_tap != nullptr && m_waiting.size() > m_told)
        m_tap->received(m_waiting.mid(m_told));
    m_told = 0;
    return std::exchange(m_waiting, {});
}

void BusPort::discardWaiting()
{
    takeAll();
    m_burst.stop();
}

bool BusPort::burstInProgress() const
{
    return isOpen() && (m_burst.isActive() || m_backend->holdsUnread());
}

void BusPort::deliverPending()
{
    if (!isOpen() || !m_burst.isActive())
        return;
    m_burst.stop();
    endOfBurst();
}

void BusPort::endOfBurst()
{
    // The watcher hears of a burst when it ends, whether or not the link
    // takes the bytes now: foreign traffic outside a wait is seen too.
    if (m_tap != nullptr && m_waiting.size() > m_told) {
        m_tap->received(m_waiting.mid(m_told));
        m_told = m_waiting.size();
    }
    emit received();
}

void BusPort::deviceFailed(PortError error)
{
    if (!deviceOpen() || m_failed)
        return; // problems of opening are told by open(); a failure is told once
    m_failed = true;
    m_error = error;
    m_systemText.clear();
    // Closing from inside the device's own error signal is not safe; close
    // once control is back in the event loop.
    QTimer::singleShot(0, this, [this] { close(); });
    emit failed(errorText());
}

std::unique_ptr<BusPort> OpenBusPort(const QString &device, QObject *parent)
{
    auto port = std::make_unique<BusPort>(parent);
    port->open(device);
    return port;
}
