#include "exchangelog.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>

namespace {
QString Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}
} // namespace

ExchangeLog::ExchangeLog(BusPort &port, const QString &path, QObject *parent)
    : BusPort(parent), m_port(port), m_file(path)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        m_openError =
            QStringLiteral("Журнал обмена %1 не открыт: %2").arg(path, m_file.errorString());
    connect(&m_port, &BusPort::received, this, &BusPort::received);
    connect(&m_port, &BusPort::failed, this, &BusPort::failed);
}

bool ExchangeLog::write(const QByteArray &bytes)
{
    log("out", bytes);
    return m_port.write(bytes);
}

QByteArray ExchangeLog::takeAll()
{
    const QByteArray bytes = m_port.takeAll();
    if (!bytes.isEmpty())
        log("in", bytes);
    return bytes;
}

void ExchangeLog::log(const char *direction, const QByteArray &bytes)
{
    if (!m_file.isOpen())
        return;
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    QJsonObject line{{QStringLiteral("t_us"), qint64(now.count())},
                     {QStringLiteral("dir"), QString::fromLatin1(direction)},
                     {QStringLiteral("bytes"), Hex(bytes)}};
    if (bytes.size() >= 3) {
        line.insert(QStringLiteral("addr"), Hex(bytes.mid(1, 1)));
        line.insert(QStringLiteral("cmd"), Hex(bytes.mid(2, 1)));
    }
    m_file.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
}
