#include "hextext.h"

#include <QStringEncoder>
#include <QStringList>

#include <algorithm>

namespace {

// The 8-bit code a character has in the tools' Windows-1251 texts; a
// character that code page cannot carry counts as a question mark.
int CharCode(QChar c)
{
    if (c.unicode() < 0x80)
        return c.unicode();
    QStringEncoder encoder("windows-1251");
    const QByteArray bytes = encoder.encode(QStringView(&c, 1));
    if (encoder.hasError() || bytes.size() != 1)
        return '?';
    return static_cast<quint8>(bytes[0]);
}

int DigitWorth(QChar c)
{
    const int code = CharCode(c);
    return (code >= '0' && code <= '9') ? code - 48 : code - 55;
}

} // namespace

std::optional<int> HexValue(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    if (text.size() == 1)
        return DigitWorth(text[0]);
    return 16 * DigitWorth(text[0]) + DigitWorth(text[1]);
}

std::optional<int> TypedHex(const QString &text)
{
    const QString digits = text.trimmed();
    const bool hex = !digits.isEmpty() && digits.size() <= 2 &&
                     std::all_of(digits.begin(), digits.end(), [](QChar c) {
                         return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
                     });
    if (!hex)
        return std::nullopt;
    return HexValue(digits);
}

QString FormatHex(int value)
{
    const unsigned shown =
        value < 0 ? static_cast<unsigned>(value) & 0xFFFFu : static_cast<unsigned>(value);
    return QString::number(shown, 16).toUpper();
}

QString HexByte(int value)
{
    return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

QString HexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString HexBytes(const QList<int> &values)
{
    QByteArray bytes;
    for (int value : values)
        bytes.append(static_cast<char>(static_cast<quint8>(value)));
    return HexBytes(bytes);
}

QStringList ByteTexts()
{
    QStringList texts;
    texts.reserve(256);
    for (int value = 0; value < 256; ++value)
        texts.append(HexByte(value));
    return texts;
}
