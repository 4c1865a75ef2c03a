#pragma once

#include "busframe.h"
#include "busport.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

// One frame sent, or one frame (or run of bytes that forms none) of a
// receive event, as the exchange log keeps it.
struct ExchangeEntry
{
    qint64 tUs = 0;    // monotonic, microseconds
    qint64 wallMs = 0; // wall clock, milliseconds since the epoch
    bool sent = false; // put on the wire by the tool, or received
    DecodedFrame frame;
};

// The entry as one JSON line, without its line end, with the field names of
// bussim's log: {"t_us":..., "wall":"2026-05-04T10:20:30.123", "dir":"out",
// "addr":"9C", "cmd":"01", "bytes":"F0 9C 01 9D", "frame":"request",
// "payload":"", "checksum":"good"}. "dir" is "out" for what the tool sent
// and "in" for what it received; bytes that form no frame have "frame":"none"
// and no address, code, payload or checksum.
QByteArray ExchangeJsonLine(const ExchangeEntry &entry);

// The exchange of one port: takes its traffic as it passes, decodes it once
// control is back in the event loop (the exchange never waits for the log),
// appends it to a file of JSON lines and hands it to whoever shows it. While
// there is neither a file nor a watcher, the port is left alone and the log
// costs the exchange nothing.
class ExchangeLog : public QObject, public BusTap
{
    Q_OBJECT
public:
    explicit ExchangeLog(BusPort *port, QObject *parent = nullptr);
    ~ExchangeLog() override;

    // Appends every entry to the file from now on. False, with the reason,
    // when it cannot be opened; the log then goes on without a file.
    bool startFile(const QString &path, QString *error);
    void stopFile();
    bool isWritingFile() const { return m_file.isOpen(); }
    QString filePath() const { return m_file.fileName(); }

    // Someone shows the entries (the log window is open).
    void setWatched(bool watched);

    void sent(const QByteArray &bytes) override;
    void received(const QByteArray &bytes) override;

    // Decodes and hands on what has been taken so far; also done by itself
    // at the next turn of the event loop.
    void flush();

signals:
    // New entries, in order, while the log is watched.
    void entriesAdded(const QList<ExchangeEntry> &entries);
    // The file could not be written; it is closed and the log goes on
    // without it. Said once per file.
    void fileFailed(const QString &text);

private:
    struct Taken
    {
        qint64 tUs;
        qint64 wallMs;
        bool sent;
        QByteArray bytes;
    };

    void take(bool sent, const QByteArray &bytes);
    void listen();

    QPointer<BusPort> m_port;
    QFile m_file;
    bool m_watched = false;
    bool m_flushQueued = false;
    QList<Taken> m_taken;
};
