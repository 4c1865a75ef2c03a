#pragma once

#include "systemimage.h"

#include <QList>
#include <QString>

// What a comparison of the network with the image file found.
struct RegisterDifference
{
    int address = 0;
    int registerNumber = 0;
    RegisterValues file{};
    RegisterValues network{};
};

struct UnreadRegister
{
    int address = 0;
    int registerNumber = 0;
};

struct VerifyResult
{
    int equal = 0;
    QList<RegisterDifference> differing;
    QList<UnreadRegister> unread;

    bool allEqual() const { return differing.isEmpty() && unread.isEmpty(); }
};

namespace VerifyText {
// "совпадают 519, отличаются 3, не прочитаны 9"
QString Summary(const VerifyResult &result);
// A file value as a byte field: two hex digits, or the number as it stands
// when it is no byte (only a hand-edited file holds one).
QString ByteField(qint16 value);
// The whole result as plain text: the summary, a table of the differing
// registers (each differing byte followed by '*') and the registers not read.
QString Report(const VerifyResult &result);
} // namespace VerifyText
