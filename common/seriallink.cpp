#include "seriallink.h"

#include "busport.h"

#include <utility>

ReceptionGate::ReceptionGate(SerialLink &link, int awaitingReply)
    : m_link(&link), m_previous(std::exchange(link.m_awaitingReply, awaitingReply))
{}

ReceptionGate::ReceptionGate(ReceptionGate &&other) noexcept
    : m_link(std::exchange(other.m_link, nullptr)), m_previous(other.m_previous)
{}

ReceptionGate::~ReceptionGate()
{
    if (m_link)
        m_link->m_awaitingReply = m_previous;
}

SerialLink::SerialLink(BusPort *port, QObject *parent) : QObject(parent), m_port(port)
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

bool SerialLink::refuse(const QString &why)
{
    m_error = why;
    return false;
}

bool SerialLink::SendRaw(const QByteArray &bytes)
{
    if (!m_port->isOpen())
        return refuse(m_port->errorText());
    if (!m_port->write(bytes))
        return refuse(m_port->errorText());
    m_error.clear();
    return true;
}

bool SerialLink::SendRequest(const QByteArray &bytes)
{
    if (!SendRaw(bytes))
        return false;
    ForgetReceived();
    return true;
}

void SerialLink::ForgetReceived()
{
    m_receiveOffset = 0;
}

ReceptionGate SerialLink::openReception()
{
    return ReceptionGate(*this, AwaitingReply);
}

ReceptionGate SerialLink::closeReception()
{
    return ReceptionGate(*this, 0);
}

void SerialLink::discardWaiting()
{
    m_port->discardWaiting();
}

QByteArray SerialLink::takeWaiting()
{
    return m_port->takeAll();
}

void SerialLink::MSComm1_OnComm()
{
    if (m_awaitingReply != AwaitingReply) {
        emit bytesWaiting();
        return;
    }
    m_receiveOffset = m_buffer.place(m_receiveOffset, m_port->takeAll());
    emit replyStored();
}

void SerialLink::TakePending()
{
    m_port->deliverPending();
}

bool SerialLink::replyStillArriving() const
{
    return m_port->burstInProgress();
}
