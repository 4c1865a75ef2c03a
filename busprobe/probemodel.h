#pragma once

#include "busframe.h"

#include <QString>
#include <QStringList>

#include <bitset>
#include <optional>

// What the tester's two lists and eleven byte fields mean on the bus, without
// any widget: the controller list (busprobe's entries of the table of the
// network), the command table, the caption of the data row, reading the
// fields for a send and taking a good reply's values over.

// The byte fields, in the order a send reads them.
enum class ByteField
{
    CellAddress,
    Data0,
    Data1,
    Data2,
    Data3,
    Data4,
    Data5,
    Data6,
    Data7,
    Zone,
    Status,
};
inline constexpr int ByteFieldCount = 11;
using FieldSet = std::bitset<ByteFieldCount>;

ByteField DataField(int k); // Data0 .. Data7
// The control that holds the field ("Combo_adrd", "Combo_d0", ...).
QString FieldObjectName(ByteField field);
// How the status line names the field ("Адрес памяти", "данные 3", ...).
QString FieldTitle(ByteField field);
int &FieldValue(RequestFields &values, ByteField field);
int FieldValue(const RequestFields &values, ByteField field);

// The controller list in its order. A text gives its controller's address
// only when it matches an entry exactly (case and alphabet included); every
// other text gives 00.
QStringList ControllerTexts();
int ControllerAddress(const QString &text);

// What picking a command sets up: its code, whether it goes to the
// synchronisation address, and the byte fields it sends (which are the ones
// enabled for it).
struct CommandSetup
{
    int commandCode = PresencePoll;
    bool toSyncAddress = false;
    FieldSet fields;
};

// The command list in its order. A text that matches no entry exactly is the
// presence poll.
QStringList CommandTexts();
CommandSetup SetupForCommand(const QString &text);

// The caption under the data row for a command code sent to targetAddress;
// empty when the caption is to stay as it was (a one-cell command to the
// synchronisation address).
std::optional<QString> DataRowCaption(int commandCode, int targetAddress);

// The values of a send read from the field texts (in ByteField order), or
// the status line text that stops the send. A field the command sends must
// hold a byte; a field it does not send never blocks, and when empty keeps
// its previous value.
struct FieldReading
{
    RequestFields values;
    QString refusal; // empty: the send goes ahead
};
FieldReading ReadFields(const QStringList &texts, const FieldSet &sent,
                        const RequestFields &previous);

// Takes over the values a good reply carries: the cell address (or register
// number) and one or eight data bytes. A reply without data changes nothing.
void TakeOver(RequestFields &values, const ReplyJudgement &judgement);
