#include "framelog.h"

#include "busframe.h"
#include "hextext.h"
#include "monotonicclock.h"
#include "network.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace bussim {

bool FrameLog::open(const QString &path, QString *error)
{
    m_file.setFileName(path);
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(path, m_file.errorString());
    return false;
}

void FrameLog::frameIn(const QByteArray &wire, int address, int command, bool checksumOk)
{
    QJsonObject line{{QStringLiteral("t_us"), MonotonicMicroseconds()},
                     {QStringLiteral("dir"), QStringLiteral("in")},
                     {QStringLiteral("addr"), HexByte(address)},
                     {QStringLiteral("cmd"), HexByte(command)},
                     {QStringLiteral("bytes"), HexBytes(wire)}};
    if (!checksumOk)
        line.insert(QStringLiteral("checksum"), QStringLiteral("bad"));
    write(QJsonDocument(line).toJson(QJsonDocument::Compact));
}

void FrameLog::frameOut(const QByteArray &wire, qint64 firstUs, qint64 lastUs)
{
    // The address and code are the reply's, read by the tools' own decoder,
    // also when other traffic goes before it; a reply whose checksum is wrong
    // says so. A piece of a split reply, or other traffic alone, is logged
    // with what its second and third bytes hold.
    QJsonObject line{{QStringLiteral("t_us"), firstUs},
                     {QStringLiteral("last_us"), lastUs},
                     {QStringLiteral("dir"), QStringLiteral("out")},
                     {QStringLiteral("bytes"), HexBytes(wire)}};
    const QList<DecodedFrame> pieces = DecodeTraffic(wire);
    const auto reply = std::find_if(pieces.rbegin(), pieces.rend(), [](const DecodedFrame &p) {
        return p.kind != FrameKind::NotFrame;
    });
    if (reply != pieces.rend()) {
        line.insert(QStringLiteral("addr"), HexByte(reply->address));
        line.insert(QStringLiteral("cmd"), HexByte(reply->code));
        if (!reply->checksumOk)
            line.insert(QStringLiteral("checksum"), QStringLiteral("bad"));
    } else if (wire.size() >= 3) {
        line.insert(QStringLiteral("addr"), HexByte(static_cast<quint8>(wire[1])));
        line.insert(QStringLiteral("cmd"), HexByte(static_cast<quint8>(wire[2])));
    }
    write(QJsonDocument(line).toJson(QJsonDocument::Compact));
}

void FrameLog::event(int address, const QString &text)
{
    const QJsonObject line{{QStringLiteral("t_us"), MonotonicMicroseconds()},
                           {QStringLiteral("dir"), QStringLiteral("event")},
                           {QStringLiteral("addr"), HexByte(address)},
                           {QStringLiteral("text"), text}};
    write(QJsonDocument(line).toJson(QJsonDocument::Compact));
}

void FrameLog::write(const QByteArray &line)
{
    if (m_file.isOpen())
        m_file.write(line + '\n');
}

} // namespace bussim
