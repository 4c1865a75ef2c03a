#include "exchangelog.h"

#include "systemerror.h"

#include "hextext.h"
#include "monotonicclock.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <utility>

QByteArray ExchangeJsonLine(const ExchangeEntry &entry)
{
    const DecodedFrame &frame = entry.frame;
    QJsonObject line{
        {QStringLiteral("t_us"), entry.tUs},
        {QStringLiteral("wall"), QDateTime::fromMSecsSinceEpoch(entry.wallMs)
                                     .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz"))},
        {QStringLiteral("dir"), entry.sent ? QStringLiteral("out") : QStringLiteral("in")},
        {QStringLiteral("bytes"), HexBytes(frame.wire)},
    };
    if (frame.kind == FrameKind::NotFrame) {
        line.insert(QStringLiteral("frame"), QStringLiteral("none"));
    } else {
        line.insert(QStringLiteral("frame"), frame.kind == FrameKind::Request
                                                 ? QStringLiteral("request")
                                                 : QStringLiteral("reply"));
        line.insert(QStringLiteral("addr"), HexByte(frame.address));
        line.insert(QStringLiteral("cmd"), HexByte(frame.code));
        line.insert(QStringLiteral("payload"), HexBytes(frame.payload));
        line.insert(QStringLiteral("checksum"),
                    frame.checksumOk ? QStringLiteral("good") : QStringLiteral("bad"));
    }
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}

ExchangeLog::ExchangeLog(BusPort *port, QObject *parent) : QObject(parent), m_port(port) {}

ExchangeLog::~ExchangeLog()
{
    if (m_port && m_port->tap() == this)
        m_port->setTap(nullptr);
    // What is still waiting goes to the file; nobody is told any more.
    blockSignals(true);
    flush();
}

bool ExchangeLog::startFile(const QString &path, QString *error)
{
    stopFile();
    m_file.setFileName(path);
    // Unbuffered: every line is in the file as soon as it is written, so a
    // tool that is killed leaves its log whole up to its last frame.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error)
            *error = QStringLiteral("Журнал обмена не записывается: %1: %2")
                         .arg(path, SystemReason(m_file.errorString()));
        listen();
        return false;
    }
    listen();
    return true;
}

void ExchangeLog::stopFile()
{
    flush();
    if (m_file.isOpen())
        m_file.close();
    listen();
}

void ExchangeLog::setWatched(bool watched)
{
    m_watched = watched;
    listen();
}

void ExchangeLog::listen()
{
    if (!m_port)
        return;
    const bool wanted = m_watched || m_file.isOpen();
    if (wanted)
        m_port->setTap(this);
    else if (m_port->tap() == this)
        m_port->setTap(nullptr);
}

void ExchangeLog::sent(const QByteArray &bytes)
{
    take(true, bytes);
}

void ExchangeLog::received(const QByteArray &bytes)
{
    take(false, bytes);
}

void ExchangeLog::take(bool sent, const QByteArray &bytes)
{
    // Only the time and the bytes now; the rest waits for the event loop.
    m_taken.append({MonotonicMicroseconds(), QDateTime::currentMSecsSinceEpoch(), sent, bytes});
    if (!m_flushQueued) {
        m_flushQueued = true;
        QMetaObject::invokeMethod(this, &ExchangeLog::flush, Qt::QueuedConnection);
    }
}

void ExchangeLog::flush()
{
    m_flushQueued = false;
    if (m_taken.isEmpty())
        return;
    QList<ExchangeEntry> entries;
    for (const Taken &taken : std::exchange(m_taken, {})) {
        for (DecodedFrame &frame : DecodeTraffic(taken.bytes))
            entries.append({taken.tUs, taken.wallMs, taken.sent, std::move(frame)});
    }
    if (m_file.isOpen()) {
        QByteArray lines;
        for (const ExchangeEntry &entry : entries)
            lines += ExchangeJsonLine(entry) + '\n';
        if (m_file.write(lines) != lines.size()) {
            const QString text = QStringLiteral("Журнал обмена больше не записывается: %1: %2")
                                     .arg(m_file.fileName(), SystemReason(m_file.errorString()));
            m_file.close();
            listen();
            emit fileFailed(text);
        }
    }
    if (m_watched)
        emit entriesAdded(entries);
}
