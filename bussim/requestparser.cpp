#include "requestparser.h"

#include "busframe.h"
#include "stuffedbyte.h"

#include <QDateTime>

namespace bussim {

namespace {
// Only the payload's length matters here, not the clock a synchronisation carries.
const QDateTime ShapeClock(QDate(2000, 1, 3), QTime(0, 0));
} // namespace

std::optional<Request> RequestParser::feed(quint8 byte)
{
    if (m_state != State::Idle)
        m_request.wire.append(static_cast<char>(byte));
    switch (m_state) {
    case State::Idle:
        if (byte == RequestStart) {
            m_request = Request{};
            m_request.wire.append(static_cast<char>(byte));
            m_sum = 0;
            m_state = State::Address;
        }
        return std::nullopt;
    case State::Address:
        m_request.address = byte;
        m_sum += byte;
        m_state = State::Command;
        return std::nullopt;
    case State::Command: {
        m_request.command = byte;
        m_sum += byte;
        // The address and the command fix the payload's length, by the same
        // rule the tools compose it with.
        const RequestPayload shape =
            ComposePayload(m_request.address, m_request.command, RequestFields{}, ShapeClock);
        m_stuffedLeft = static_cast<int>(shape.stuffed.size());
        m_zerosLeft = shape.closingZeros;
        m_payloadPosition = m_request.wire.size();
        m_state = m_stuffedLeft > 0 ? State::Payload
                  : m_zerosLeft > 0 ? State::ClosingZeros
                                    : State::Checksum;
        return std::nullopt;
    }
    case State::Payload: {
        // The byte after a payload F0 counts in the checksum whatever it is,
        // as the tools read a reply. Until it has come the F0 is left
        // unread, and is read again with it.
        const auto byteAt = [this](qsizetype i) {
            return i < m_request.wire.size()
                       ? std::optional<int>(static_cast<quint8>(m_request.wire[i]))
                       : std::nullopt;
        };
        const std::optional<int> value =
            TakeStuffedByte(Stuffing::AsItStands, byteAt, m_payloadPosition, m_sum);
        if (!value)
            return std::nullopt;
        m_request.payload.append(*value);
        --m_stuffedLeft;
        m_state = afterPayloadByte();
        return std::nullopt;
    }
    case State::ClosingZeros:
        m_request.payload.append(byte);
        m_sum += byte;
        if (--m_zerosLeft == 0)
            m_state = State::Checksum;
        return std::nullopt;
    case State::Checksum:
        m_request.checksumOk = ReduceChecksum(m_sum) == byte;
        m_state = State::Idle;
        return std::move(m_request);
    }
    return std::nullopt;
}

RequestParser::State RequestParser::afterPayloadByte()
{
    if (m_stuffedLeft > 0)
        return State::Payload;
    return m_zerosLeft > 0 ? State::ClosingZeros : State::Checksum;
}

void RequestParser::reset()
{
    m_state = State::Idle;
    m_request = Request{};
}

} // namespace bussim
