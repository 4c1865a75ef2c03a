#pragma once

#include <QByteArray>

// Bytes written as the bus documents write them: "F0 9C 01 9D".
inline QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
