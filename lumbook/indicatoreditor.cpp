#include "indicatoreditor.h"

#include "hextext.h"
#include "lumtexts.h"

namespace {

int HighNibble(int value)
{
    return (value & 0xFF) >> 4;
}

int LowNibble(int value)
{
    return value & 0x0F;
}

QString DelayText(int code)
{
    return QString::number(10 * code);
}

} // namespace

void IndicatorEditor::SelectTask()
{
    m_task = TaskSlotOf(lists.d);
}

void IndicatorEditor::ShowTaskKind()
{
    SelectTask();
    const TaskKindView view = ShowKind(HighNibble(first()));
    lists.bis = view.text;
    lists.aEnabled = view.addressEnabled;
    lists.nEnabled = view.inputEnabled;
    lists.tEnabled = view.delayEnabled;
}

QString IndicatorEditor::Combo_adr_Click()
{
    QString refusal;
    const std::optional<int> address = TypedHex(lists.adr);
    if (const std::optional<int> n = address ? IndicatorNumber(*address) : std::nullopt)
        m_index = *n;
    else
        refusal = LumText::NotIndicatorAddress(lists.adr, FormatHex(indicatorAddress()));
    lists.adr = FormatHex(indicatorAddress());
    selected().cell(0, 0) = qint16(indicatorAddress());
    lists.kor = CorrectionText(selected().cell(0, 1));
    lists.osv = FormatHex(selected().cell(0, 2));
    Combo_d_Click();
    return refusal;
}

QString IndicatorEditor::Combo_kor_Click()
{
    selected().cell(0, 1) = qint16(CorrectionCode(lists.kor));
    // A text outside the list stored 0x00; the list says so.
    lists.kor = CorrectionText(selected().cell(0, 1));
    return QString();
}

QString IndicatorEditor::Combo_osv_Click()
{
    const std::optional<int> value = TypedHex(lists.osv);
    if (!value) {
        const QString refusal =
            LumText::NotInList(LumText::IlluminationLabel(), lists.osv, QStringLiteral("0..FF"));
        lists.osv = FormatHex(selected().cell(0, 2));
        return refusal;
    }
    selected().cell(0, 2) = qint16(*value);
    lists.osv = FormatHex(*value);
    return QString();
}

QString IndicatorEditor::Combo_d_Click()
{
    ShowTaskKind();
    if (HighNibble(second()) == 0 || HighNibble(second()) > 0xD)
        second() = qint16(LowNibble(second()) + 0x10);
    lists.n = FormatHex(HighNibble(second()));
    lists.a = FormatHex(LowNibble(first()));
    if (LowNibble(second()) == 0)
        second() = qint16(second() + 1);
    lists.t = DelayText(LowNibble(second()));
    return QString();
}

QString IndicatorEditor::Combo_bis_Click()
{
    SelectTask();
    first() = qint16(LowNibble(first()) + 16 * TaskKindOfText(lists.bis));
    return Combo_d_Click();
}

QString IndicatorEditor::Combo_a_Click()
{
    ShowTaskKind();
    const std::optional<int> value = TypedHex(lists.a);
    if (!value || *value > 0xF) {
        const QString refusal =
            LumText::NotInList(LumText::AddressOrNumberLabel(), lists.a, QStringLiteral("0..F"));
        lists.a = FormatHex(LowNibble(first()));
        return refusal;
    }
    first() = qint16((first() & 0xF0) + *value);
    lists.a = FormatHex(*value);
    return QString();
}

QString IndicatorEditor::Combo_n_Click()
{
    ShowTaskKind();
    const std::optional<int> value = TypedHex(lists.n);
    if (!value || *value < 0x1 || *value > 0xD) {
        const QString refusal =
            LumText::NotInList(LumText::InputLabel(), lists.n, QStringLiteral("1..D"));
        lists.n = FormatHex(HighNibble(second()));
        return refusal;
    }
    second() = qint16(LowNibble(second()) + 16 * *value);
    lists.n = FormatHex(*value);
    return QString();
}

QString IndicatorEditor::Combo_t_Click()
{
    ShowTaskKind();
    const int code = DelayCode(lists.t);
    second() = qint16((second() & 0xF0) + code);
    // A text outside the list stored delay code 1; the list says so.
    lists.t = DelayText(code);
    return QString();
}
