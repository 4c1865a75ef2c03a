#pragma once

#include "replybuffer.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class BusPort;
class SerialLink;

// The link's reception gate held open or closed for as long as this lives;
// the gate as it stood before comes back when it ends. Taken from the link
// (SerialLink::openReception(), closeReception()) by whoever decides when a
// reply is awaited: busprobe from its first request on, sysload for each
// controller of a read run and from the first request of a write run on,
// the register engine while a run is active, sysload's quick exchange
// (closed) while it collects a reply itself.
class ReceptionGate
{
public:
    ReceptionGate(ReceptionGate &&other) noexcept;
    ReceptionGate(const ReceptionGate &) = delete;
    ReceptionGate &operator=(const ReceptionGate &) = delete;
    ReceptionGate &operator=(ReceptionGate &&) = delete;
    ~ReceptionGate();

private:
    friend class SerialLink;
    ReceptionGate(SerialLink &link, int awaitingReply);

    QPointer<SerialLink> m_link; // none once moved from
    int m_previous = 0;
};

// The bus side of a tool: sends request bytes, stores the bytes of a reply in
// the reply buffer as the port reports them while reception is open, and
// keeps the link state that the tool's exchange code reads.
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

    // Sends the bytes as they stand. False when the port is not open or the
    // bytes could not be sent (see errorText()).
    [[nodiscard]] bool SendRaw(const QByteArray &bytes);
    // Sends a request whose reply is awaited: once it has gone out, nothing
    // counts as received (see ForgetReceived()), so that the reply is placed
    // from slot 1 on.
    [[nodiscard]] bool SendRequest(const QByteArray &bytes);
    // What has been received is done with: receiveOffset() is 0 (nothing
    // received) and the next receive event stores from slot 1 on. The slots
    // keep their contents.
    void ForgetReceived();

    // The gate of the receive handler, open (awaitingReply() 20) or closed
    // (0) while the gate taken lives.
    [[nodiscard]] ReceptionGate openReception();
    [[nodiscard]] ReceptionGate closeReception();

    // Drops every byte waiting in the port unread, and the burst they belong
    // to: what came before a run or a request and belongs to no request of it
    // raises no receive event later.
    void discardWaiting();
    // Hands over every byte waiting in the port, past the reply buffer, to
    // a reader that collects a reply itself while reception is closed
    // (told by bytesWaiting()).
    QByteArray takeWaiting();

    const ReplyBuffer &replyBuffer() const { return m_buffer; }
    // Where the next receive event stores: 0, 8, 16 or 24; 0 means nothing
    // was received since the link last forgot what it had received.
    int receiveOffset() const { return m_receiveOffset; }
    // The reception gate: 20 open, 0 closed.
    int awaitingReply() const { return m_awaitingReply; }

    // The receive handler: with the gate open, takes every waiting byte and
    // places it from slot receiveOffset + 1 on (never beyond slot 24), then
    // moves receiveOffset to the next eight-slot block while it is below 20.
    // With the gate closed it reads nothing, and the bytes stay in the port
    // (the newest BusPort::WaitingLimit of them).
    void MSComm1_OnComm();
    // A wait for a reply has ended: bytes that have arrived but whose receive
    // event is still to come (a burst inside its quiet time) are taken now,
    // as that event, so that the reply is judged on every byte received.
    void TakePending();
    // Bytes have begun to arrive whose receive event is still to come: a
    // reply in the middle of its pieces.
    bool replyStillArriving() const;

signals:
    // A receive event has been stored (the register engine restarts its read
    // timer on this).
    void replyStored();
    // A receive event found reception closed: its bytes wait in the port.
    void bytesWaiting();
    // The port failed while in use; the text names the device and the reason.
    void portFailed(const QString &text);

private:
    friend class ReceptionGate;
    bool refuse(const QString &why);

    BusPort *m_port;
    ReplyBuffer m_buffer;
    int m_receiveOffset = 0;
    int m_awaitingReply = 0;
    QString m_error;
};
