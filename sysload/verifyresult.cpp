#include "verifyresult.h"

#include "hextext.h"

#include <QStringList>

namespace VerifyText {

QString Summary(const VerifyResult &result)
{
    return QStringLiteral("совпадают %1, отличаются %2, не прочитаны %3")
        .arg(result.equal)
        .arg(result.differing.size())
        .arg(result.unread.size());
}

QString ByteField(qint16 value)
{
    if (value < 0 || value > 0xFF)
        return QString::number(value);
    return HexByte(value);
}

namespace {
QString Bytes(const RegisterValues &values, const RegisterValues &other)
{
    QStringList fields;
    for (std::size_t j = 0; j < values.size(); ++j)
        fields << ByteField(values[j]) + (values[j] != other[j] ? u'*' : u' ');
    return fields.join(u' ');
}

// Consecutive registers of one controller as ranges: "0-8", "3", "0-3, 7".
QStringList UnreadLines(const QList<UnreadRegister> &unread)
{
    QStringList lines;
    for (qsizetype i = 0; i < unread.size();) {
        const int address = unread[i].address;
        QStringList ranges;
        while (i < unread.size() && unread[i].address == address) {
            const int first = unread[i].registerNumber;
            int last = first;
            while (++i < unread.size() && unread[i].address == address &&
                   unread[i].registerNumber == last + 1)
                ++last;
            ranges << (first == last ? FormatHex(first)
                                     : FormatHex(first) + u'-' + FormatHex(last));
        }
        lines << QStringLiteral("  %1: регистры %2")
                     .arg(ByteField(qint16(address)), ranges.join(u", "));
    }
    return lines;
}
} // namespace

QString Report(const VerifyResult &result)
{
    QStringList lines{QStringLiteral("Сверка системы с файлом: ") + Summary(result)};
    if (!result.differing.isEmpty()) {
        lines << QString() << QStringLiteral("Отличаются (* - отличающийся байт):")
              << QStringLiteral("адрес регистр  в файле                          в системе");
        for (const RegisterDifference &d : result.differing)
            lines << QStringLiteral("  %1    %2     %3  %4")
                         .arg(ByteField(qint16(d.address)), ByteField(qint16(d.registerNumber)))
                         .arg(Bytes(d.file, d.network), Bytes(d.network, d.file));
    }
    if (!result.unread.isEmpty())
        lines << QString() << QStringLiteral("Не прочитаны:") << UnreadLines(result.unread);
    return lines.join(u'\n') + u'\n';
}

} // namespace VerifyText
