#pragma once

#include "replybuffer.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class BusPort;

// The bus side of a tool: sends request bytes, stores the bytes of a reply in
// the reply buffer as the port reports them, and keeps the link state that
// the tool's exchange code reads and sets.
class SerialLink : public QObject
{
    Q_OBJECT
public:
    // The value of the reception gate that means a reply is awaited.
    static constexpr int AwaitingReply = 20;

    // The link uses the port and does not own it.
    explicit SerialLink(BusPort *port, QObject *parent = nullptr);

    bool isOpen() const;
    // Why the link cannot send: the port's reason, or a failure during use.
    QString errorText() const;

    // By default the receive handler stores bytes only while awaitingReply is
    // 20; the register engine gates reception on its own run state instead.
    void setReceiveGate(std::function<bool()> gate);

    // Sends the bytes as they stand; adds nothing to the checksum. False when
    // the port is not open or the bytes could not be sent (see errorText()).
    [[nodiscard]] bool SendRaw(const QByteArray &bytes);
    // Sends one payload byte under the stuffing rule and adds it (and the
    // stuffing byte 11 after an F0) to runningChecksum. A value outside
    // 0..255 is refused and nothing is sent.
    [[nodiscard]] bool SendStuffed(int value);

    const ReplyBuffer &replyBuffer() const { return m_buffer; }
    int receiveOffset() const { return m_receiveOffset; }
    void setReceiveOffset(int offset) { m_receiveOffset = offset; }
    int awaitingReply() const { return m_awaitingReply; }
    void setAwaitingReply(int value) { m_awaitingReply = value; }
    int runningChecksum() const { return m_runningChecksum; }
    void setRunningChecksum(int value) { m_runningChecksum = value; }
    int readPosition() const { return m_readPosition; }
    void setReadPosition(int position) { m_readPosition = position; }

    // The receive handler: when the gate is open, takes every waiting byte and
    // places it from slot receiveOffset + 1 on (never beyond slot 24), then
    // moves receiveOffset to the next eight-slot block while it is below 20.
    // With the gate closed it reads nothing, and the bytes stay in the port.
    void MSComm1_OnComm();
    // A wait for a reply has ended: bytes that have arrived but whose receive
    // event is still to come (a burst inside its quiet time) are taken now,
    // as that event, so that the reply is judged on every byte received.
    void TakePending();

signals:
    // A receive event has been stored (the register engine restarts its read
    // timer on this).
    void replyStored();
    // The port failed while in use; the text names the device and the reason.
    void portFailed(const QString &text);

private:
    bool refuse(const QString &why);

    BusPort *m_port;
    std::function<bool()> m_gate;
    ReplyBuffer m_buffer;
    int m_receiveOffset = 0;
    int m_awaitingReply = 0;
    int m_runningChecksum = 0;
    int m_readPosition = 4;
    QString m_error;
};
