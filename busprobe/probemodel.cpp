#include "probemodel.h"

#include "hextext.h"
#include "networktable.h"
#include "probetexts.h"

#include <QStringView>

#include <array>
#include <cstddef>

namespace {

// Field sets written as the list of fields a command sends.
constexpr unsigned long Bit(ByteField field)
{
    return 1UL << static_cast<int>(field);
}
constexpr unsigned long CellOnly = Bit(ByteField::CellAddress);
constexpr unsigned long AllData = 0x1FEUL; // Data0 .. Data7
constexpr unsigned long SyncFields = Bit(ByteField::Zone) | Bit(ByteField::Status);

struct CommandEntry
{
    QStringView text;
    int code;
    bool toSyncAddress;
    unsigned long fields;
};

constexpr std::array<CommandEntry, 12> Commands{{
    {u"опрос наличия", PresencePoll, false, 0},
    {u"читать 1 яч памяти", ReadMemoryCell, false, CellOnly},
    {u"запись 1 яч памяти", WriteMemoryCell, false, CellOnly | Bit(ByteField::Data0)},
    {u"читать 8 яч памяти", ReadMemoryBlock, false, CellOnly},
    {u"запись 8 яч памяти", WriteMemoryBlock, false, CellOnly | AllData},
    {u"читать 8 яч регист", ReadRegisterBlock, false, CellOnly},
    {u"запись 8 яч регист", WriteRegisterBlock, false, CellOnly | AllData},
    {u"дополнительная", AuxiliaryCommand, false, Bit(ByteField::Data0) | Bit(ByteField::Data1)},
    {u"действие", ActionCommand, false, Bit(ByteField::Data0) | Bit(ByteField::Data1)},
    {u"запись 1 яч регистра", WriteRegisterCell, false,
     Bit(ByteField::Data0) | Bit(ByteField::Data1) | Bit(ByteField::Data2)},
    {u"синхронизация полная", FullSync, true, SyncFields},
    {u"синхрон. стат. и зоны", StatusZoneSync, true, SyncFields},
}};

bool IsByte(int value)
{
    return value >= 0 && value <= 0xFF;
}

} // namespace

ByteField DataField(int k)
{
    return static_cast<ByteField>(static_cast<int>(ByteField::Data0) + k);
}

QString FieldObjectName(ByteField field)
{
    switch (field) {
    case ByteField::CellAddress:
        return QStringLiteral("Combo_adrd");
    case ByteField::Zone:
        return QStringLiteral("Combo_zona");
    case ByteField::Status:
        return QStringLiteral("Combo_stat");
    default:
        return QStringLiteral("Combo_d%1").arg(static_cast<int>(field) - 1);
    }
}

QString FieldTitle(ByteField field)
{
    switch (field) {
    case ByteField::CellAddress:
        return ProbeTexts::CellHeading.toString();
    case ByteField::Zone:
        return ProbeTexts::ZoneHeading.toString();
    case ByteField::Status:
        return ProbeTexts::StatusHeading.toString();
    default:
        return QStringLiteral("данные %1").arg(static_cast<int>(field) - 1);
    }
}

int &FieldValue(RequestFields &values, ByteField field)
{
    switch (field) {
    case ByteField::CellAddress:
        return values.cellAddress;
    case ByteField::Zone:
        return values.zone;
    case ByteField::Status:
        return values.status;
    default:
        return values.data[static_cast<std::size_t>(static_cast<int>(field) - 1)];
    }
}

int FieldValue(const RequestFields &values, ByteField field)
{
    RequestFields copy = values;
    return FieldValue(copy, field);
}

// busprobe lists the controllers of the network that have an entry for it.
QStringList ControllerTexts()
{
    QStringList texts;
    for (const ControllerRow &row : NetworkTable)
        if (!row.busprobe.isEmpty())
            texts.append(row.busprobe.toString());
    return texts;
}

int ControllerAddress(const QString &text)
{
    for (const ControllerRow &row : NetworkTable) {
        if (!row.busprobe.isEmpty() && text == row.busprobe)
            return row.address;
    }
    return 0x00;
}

QStringList CommandTexts()
{
    QStringList texts;
    for (const CommandEntry &entry : Commands)
        texts.append(entry.text.toString());
    return texts;
}

CommandSetup SetupForCommand(const QString &text)
{
    for (const CommandEntry &entry : Commands) {
        if (text == entry.text)
            return {entry.code, entry.toSyncAddress, FieldSet(entry.fields)};
    }
    return {};
}

std::optional<QString> DataRowCaption(int commandCode, int targetAddress)
{
    const auto blanks = [](qsizetype n) {
        return QString(n, u' ');
    };
    switch (commandCode) {
    case WriteMemoryCell:
    case ReadMemoryCell:
        if (targetAddress == SyncAddress)
            return std::nullopt;
        return QStringLiteral("данные") + blanks(39);
    case AuxiliaryCommand:
        return QStringLiteral("команда") + blanks(4) + QStringLiteral("данные") + blanks(21);
    case ActionCommand:
        return QStringLiteral("------действие----------") + blanks(21);
    case WriteRegisterCell:
        return QStringLiteral(" адрес") + blanks(8) + QStringLiteral("номер") + blanks(9) +
               QStringLiteral("данные ");
    default:
        return blanks(53);
    }
}

FieldReading ReadFields(const QStringList &texts, const FieldSet &sent,
                        const RequestFields &previous)
{
    FieldReading reading{previous, {}};
    for (int i = 0; i < ByteFieldCount; ++i) {
        const auto field = static_cast<ByteField>(i);
        const std::optional<int> value = HexValue(texts.value(i));
        const bool isSent = sent.test(static_cast<std::size_t>(i));
        if (isSent && !value)
            return {previous, ProbeTexts::StatusEmptyField(FieldTitle(field))};
        if (isSent && !IsByte(*value))
            return {previous, ProbeTexts::StatusFieldOutOfRange(FieldTitle(field))};
        if (value)
            FieldValue(reading.values, field) = *value;
    }
    return reading;
}

void TakeOver(RequestFields &values, const ReplyJudgement &judgement)
{
    if (judgement.verdict != Verdict::Ok || judgement.payload.isEmpty())
        return;
    values.cellAddress = judgement.payload[0];
    for (qsizetype k = 1; k < judgement.payload.size() && k <= 8; ++k)
        values.data[static_cast<std::size_t>(k - 1)] = judgement.payload[k];
}
