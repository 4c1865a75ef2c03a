#pragma once

#include "busport.h"

#include <QFile>

// The loader's exchange as JSON lines, one per request sent and per piece of
// reply received, with the fields of the simulator's frame log: t_us (the
// monotonic clock in microseconds), dir ("out" for a request, "in" for bytes
// received), addr and cmd (the frame's second and third byte, when it has
// them) and bytes in hex. It stands between the link and the port and passes
// everything through unchanged.
class ExchangeLog : public BusPort
{
    Q_OBJECT
public:
    ExchangeLog(BusPort &port, const QString &path, QObject *parent = nullptr);

    // Whether the log file could be opened; errorOpening() says why not.
    bool isLogging() const { return m_file.isOpen(); }
    QString errorOpening() const { return m_openError; }

    bool isOpen() const override { return m_port.isOpen(); }
    QString deviceName() const override { return m_port.deviceName(); }
    bool write(const QByteArray &bytes) override;
    QByteArray takeAll() override;
    QString errorText() const override { return m_port.errorText(); }

private:
    void log(const char *direction, const QByteArray &bytes);

    BusPort &m_port;
    QFile m_file;
    QString m_openError;
};
