#include "indicatorcodes.h"

#include "hextext.h"
#include "networktable.h"

#include <array>

namespace {

QStringList HexDigits(int from, int to)
{
    QStringList texts;
    for (int v = from; v <= to; ++v)
        texts.append(QString::number(v, 16).toUpper());
    return texts;
}

struct KindRow
{
    int kind;
    const char16_t *text;
    bool address, input, delay;
};

// Kind 5 is none; kinds 8..F are none either.
constexpr std::array<KindRow, 7> Kinds{{
    {0, u"нет", false, false, false},
    {1, u"вывод готовой надписи", true, false, true},
    {2, u"вывод минут и секунд", false, false, true},
    {3, u"день недели", false, false, true},
    {4, u"контактный датчик", true, true, true},
    {6, u"аналоговый датчик", true, true, true},
    {7, u"датчик температуры", true, true, true},
}};

constexpr int MaxCorrection = 19;

int PackedBcd(int magnitude)
{
    return (magnitude / 10) * 16 + magnitude % 10;
}

} // namespace

QStringList IndicatorAddressTexts()
{
    QStringList texts;
    for (int n = 1; n <= IndicatorCount; ++n)
        texts.append(FormatHex(IndicatorAddress(n)));
    return texts;
}

QStringList CorrectionTexts()
{
    QStringList texts;
    for (int m = MaxCorrection; m >= 1; --m)
        texts.append(QStringLiteral("-%1").arg(m));
    texts.append(QStringLiteral("0"));
    for (int m = 1; m <= MaxCorrection; ++m)
        texts.append(QStringLiteral("+%1").arg(m));
    return texts;
}

int CorrectionCode(const QString &text)
{
    for (int m = 1; m <= MaxCorrection; ++m) {
        if (text == QStringLiteral("+%1").arg(m))
            return 0x80 | PackedBcd(m);
        if (text == QStringLiteral("-%1").arg(m))
            return PackedBcd(m);
    }
    return 0x00;
}

QString CorrectionText(int value)
{
    for (int m = 1; m <= MaxCorrection; ++m) {
        if (value == (0x80 | PackedBcd(m)))
            return QStringLiteral("+%1").arg(m);
        if (value == PackedBcd(m))
            return QStringLiteral("-%1").arg(m);
    }
    return QStringLiteral("0");
}

QStringList NibbleTexts()
{
    return HexDigits(0x0, 0xF);
}

QStringList InputTexts()
{
    return HexDigits(0x1, 0xD);
}

QStringList DelayTexts()
{
    QStringList texts;
    for (int code = 1; code <= 15; ++code)
        texts.append(QString::number(10 * code));
    return texts;
}

int DelayCode(const QString &text)
{
    const qsizetype at = DelayTexts().indexOf(text);
    return at < 0 ? 1 : int(at) + 1;
}

QStringList TaskSlotTexts()
{
    QStringList texts{QStringLiteral("действие по клавише")};
    for (const QString &digit : NibbleTexts())
        texts.append(QStringLiteral("действие ") + digit);
    return texts;
}

TaskSlot TaskSlotOf(const QString &text)
{
    // Slot k (0..15) takes register 1 + k div 4, bytes 2 (k mod 4) and the next.
    const qsizetype at = TaskSlotTexts().indexOf(text);
    if (at <= 0)
        return TaskSlot{};
    const int k = int(at) - 1;
    return TaskSlot{1 + k / 4, 2 * (k % 4), k};
}

QStringList TaskKindTexts()
{
    QStringList texts;
    for (const KindRow &row : Kinds)
        texts.append(QString::fromUtf16(row.text));
    return texts;
}

int TaskKindOfText(const QString &text)
{
    for (const KindRow &row : Kinds)
        if (text == QString::fromUtf16(row.text))
            return row.kind;
    return 0;
}

TaskKindView ShowKind(int kind)
{
    for (const KindRow &row : Kinds)
        if (row.kind == kind)
            return {QString::fromUtf16(row.text), row.address, row.input, row.delay};
    return ShowKind(0);
}
