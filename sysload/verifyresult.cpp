#include "verifyresult.h"

#include "hextext.h"

#include <QStringList>

namespace VerifyText {

QString Summary(const VerifyResult &result)
{
    QString summary = QStringLiteral("совпадают %1, отличаются %2, не прочитаны %3")
                          .arg(result.equal)
                          .arg(result.differing.size())
                          .arg(result.unread.size());
    if (!result.unreadInFile.isEmpty())
        summary += QStringLiteral(", не сверены %1 (в файле не из системы)")
                       .arg(result.unreadInFile.size());
    return summary;
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
        lines << QString() << QStringLiteral("Не прочитаны:") << RegisterLines(result.unread);
    if (!result.unreadInFile.isEmpty())
        lines << QString()
              << QStringLiteral("Не сверены: в файле значения, не прочитанные из системы "
                                "при чтении в файл:")
              << RegisterLines(result.unreadInFile);
    return lines.join(u'\n') + u'\n';
}

} // namespace VerifyText
