#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace bussim {

// One JSON line per frame in or out, and per event worth noting:
// {"t_us":..., "dir":"in", "addr":"9C", "cmd":"01", "bytes":"F0 9C 01 9D"}
// A request with a wrong checksum carries "checksum":"bad"; an event line has
// "dir":"event" and "text". A line out has t_us from just before the first
// byte was written and "last_us" from when the write of the last byte
// returned: paced at the bus's speed, that is when the line carries it.
class FrameLog
{
public:
    bool open(const QString &path, QString *error);
    bool isOpen() const { return m_file.isOpen(); }

    void frameIn(const QByteArray &wire, int address, int command, bool checksumOk);
    void frameOut(const QByteArray &wire, qint64 firstUs, qint64 lastUs);
    void event(int address, const QString &text);

private:
    void write(const QByteArray &line);

    QFile m_file;
};

} // namespace bussim
