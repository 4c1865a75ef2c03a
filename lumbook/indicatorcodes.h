#pragma once

#include <QString>
#include <QStringList>

// What the bytes of an indicator's registers mean, and the texts of the lists
// that show them.

// Combo_adr: "80" .. "8F".
QStringList IndicatorAddressTexts();

// Clock correction (register 0 byte 1): the magnitude in packed BCD, bit 7
// set for plus. "+19" is 0x99, "-19" 0x19, "0" 0x00.
QStringList CorrectionTexts(); // "-19" .. "-1", "0", "+1" .. "+19"
// The byte of a correction text; "0" and any text outside the list give 0x00.
int CorrectionCode(const QString &text);
// The text of a stored byte; anything but the 38 signed codes shows "0".
QString CorrectionText(int value);

// Combo_osv and Combo_a: "0" .. "F". Combo_n: "1" .. "D".
QStringList NibbleTexts();
QStringList InputTexts();

// Combo_t: "10" .. "150" seconds; the delay code is the tenth of it.
QStringList DelayTexts();
// 2 for "20" .. 15 for "150"; 1 for "10" and for any text outside the list.
int DelayCode(const QString &text);

// A task slot: the first byte of its two is byte `byte` of register `reg`.
struct TaskSlot
{
    int reg = 0;
    int byte = 6;
    int code = 20; // what the task check sends; 20 marks the key task
};
inline constexpr int KeyTaskCode = 20;

// Combo_d: "действие по клавише", "действие 0" .. "действие F".
QStringList TaskSlotTexts();
// The slot a Combo_d text names; any other text names the key task.
TaskSlot TaskSlotOf(const QString &text);

// Combo_bis: the task kinds in list order.
QStringList TaskKindTexts();
// The kind a Combo_bis text names; "нет" and any text outside the list give 0.
int TaskKindOfText(const QString &text);

// How a task kind (the high nibble of a slot's first byte) is shown: the
// Combo_bis text and which of Combo_a, Combo_n, Combo_t are enabled. Kinds
// 5 and 8..F show as kind 0.
struct TaskKindView
{
    QString text;
    bool addressEnabled = false;
    bool inputEnabled = false;
    bool delayEnabled = false;
};
TaskKindView ShowKind(int kind);
