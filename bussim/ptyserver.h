#pragma once

#include "framelog.h"
#include "network.h"
#include "requestparser.h"
#include "simulator.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace bussim {

// Serves the simulated network on the master side of a pseudo-terminal: the
// tools open the slave side as their serial port. Requests are read as they
// come, in any pieces; replies go out as the simulator shapes them.
class PtyServer : public QObject
{
    Q_OBJECT
public:
    // A frame begun and then left unfinished this long is dropped, as a
    // controller resets its receiver when the bus falls quiet.
    static constexpr int FrameTimeoutMs = 50;
    // One byte at 19200 baud: a start bit, eight data bits and a stop bit.
    static constexpr qint64 ByteTimeNs = 10 * 1'000'000'000LL / 19200;

    explicit PtyServer(Network &network, QObject *parent = nullptr);
    ~PtyServer() override;

    // Opens the pseudo-terminal pair and sets its slave side raw.
    bool open(QString *error);
    // The device the tools open, such as "/dev/pts/3".
    QString slavePath() const { return m_slavePath; }

    // Puts reply bytes out no faster than the bus would carry them.
    void setWireTime(bool on) { m_wireTime = on; }
    void setLog(FrameLog *log) { m_log = log; }

signals:
    void requestReceived(const QByteArray &wire, bool checksumOk);
    void eventLogged(int address, const QString &text);

private:
    void readMaster();
    // A tool closed the device: its hold on the port ends.
    void releasePort();
    void handle(const Request &request);
    void send(const QByteArray &bytes);
    void writeOut(const QByteArray &bytes);

    Network &m_network;
    Simulator m_simulator;
    RequestParser m_parser;
    QElapsedTimer m_sinceLastByte;
    FrameLog *m_log = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    QSocketNotifier *m_closeNotifier = nullptr;
    int m_master = -1;
    int m_slave = -1;  // held open so the master never sees the line hang up
    int m_closes = -1; // tells each close of the slave side by anyone
    QString m_slavePath;
    bool m_wireTime = false;
};

} // namespace bussim
