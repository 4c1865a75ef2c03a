#pragma once

#include "backupfile.h"
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

struct VerifyResult
{
    int equal = 0;
    QList<RegisterDifference> differing;
    QList<UnreadRegister> unread;
    // Listed in the record beside the file: the file holds no value read from
    // the house for them, so they are not compared (nor asked for).
    QList<UnreadRegister> unreadInFile;

    bool allEqual() const
    {
        return differing.isEmpty() && unread.isEmpty() && unreadInFile.isEmpty();
    }
};

namespace VerifyText {
// "совпадают 519, отличаются 3, не прочитаны 9", then ", не сверены 4 (в
// файле не из системы)" when the record lists registers of those compared.
QString Summary(const VerifyResult &result);
// A file value as a byte field: two hex digits, or the number as it stands
// when it is no byte (only a hand-edited file holds one).
QString ByteField(qint16 value);
// The whole result as plain text: the summary, a table of the differing
// registers (each differing byte followed by '*'), the registers not read
// and those the record lists.
QString Report(const VerifyResult &result);
} // namespace VerifyText
