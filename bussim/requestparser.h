#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace bussim {

// One request frame as a controller takes it off the bus.
struct Request
{
    int address = 0;
    int command = 0;
    QList<int> payload; // unstuffed, the closing zeros of a full synchronisation included
    QByteArray wire;    // as it stood on the bus
    bool checksumOk = false;
};

// Takes request frames off the bus one byte at a time, so a request may
// arrive in any number of pieces. Waits for the start byte F0, then reads
// address and command, the payload the command calls for (undoing the
// stuffing: the byte after a payload F0 counts whatever it is), and the
// checksum. Bytes outside a frame are passed over.
class RequestParser
{
public:
    // The frame this byte completes, checksum right or wrong.
    std::optional<Request> feed(quint8 byte);
    // Forgets a frame begun but not finished (the bus fell quiet mid-frame).
    void reset();
    bool inFrame() const { return m_state != State::Idle; }

private:
    enum class State
    {
        Idle,
        Address,
        Command,
        Payload,
        ClosingZeros,
        Checksum,
    };

    State afterPayloadByte();

    State m_state = State::Idle;
    Request m_request;
    int m_sum = 0;
    int m_stuffedLeft = 0;
    int m_zerosLeft = 0;
    qsizetype m_payloadPosition = 0; // in wire: the payload byte to read next
};

} // namespace bussim
