#include "seriallink.h"

#include "busframe.h"
#include "busport.h"

SerialLink::SerialLink(BusPort *port, QObject *parent)
    : QObject(parent), m_port(port), m_gate([this] { return m_awaitingReply == AwaitingReply; })
{
    connect(m_port, &BusPort::received, this, &SerialLink::MSComm1_OnComm);
    connect(m_port, &BusPort::failed, this, [this](const QString &text) {
        m_error = text;
        emit portFailed(text);
    });
}

bool SerialLink::isOpen() const
{
    return m_port->isOpen();
}

QString SerialLink::errorText() const
{
    return m_error.isEmpty() ? m_port->errorText() : m_error;
}

void SerialLink::setReceiveGate(std::function<bool()> gate)
{
    m_gate = std::move(gate);
}

bool SerialLink::refuse(const QString &why)
{
    m_error = why;
    return false;
}

bool SerialLink::SendRaw(const QByteArray &bytes)
{
    if (!m_port->isOpen())
        return refuse(m_port->errorText().isEmpty()
                          ? QStringLiteral("Порт %1 не открыт").arg(m_port->deviceName())
                          : m_port->errorText());
    if (!m_port->write(bytes))
        return refuse(m_port->errorText());
    m_error.clear();
    return true;
}

bool SerialLink::SendStuffed(int value)
{
    QByteArray wire;
    int checksum = m_runningChecksum;
    if (!AppendStuffed(wire, checksum, value))
        return refuse(QStringLiteral("Байт %1 не помещается в 0..255 и не отправлен").arg(value));
    if (!SendRaw(wire))
        return false;
    m_runningChecksum = checksum;
    return true;
}

void SerialLink::MSComm1_OnComm()
{
    if (!m_gate())
        return;
    m_receiveOffset = m_buffer.place(m_receiveOffset, m_port->takeAll());
    emit replyStored();
}

void SerialLink::TakePending()
{
    m_port->deliverPending();
}
