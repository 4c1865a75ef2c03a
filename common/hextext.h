#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Hex text as the tools' lists and fields show and take it.

// Value of a text of hexadecimal digits. A character is worth its 8-bit code
// (Windows-1251) minus 48 when it is a digit 0..9 and minus 55 otherwise, so
// that A..F give 10..15 and no character is refused (a lower-case a gives 42,
// a capital G 16). One character gives its worth; a longer text gives
// 16 x the first + the second and the rest is ignored ("123" is 0x12).
// Empty for an empty text, which has no value.
std::optional<int> HexValue(const QString &text);

// The value of a typed text of one or two upper-case hexadecimal digits,
// blanks around it ignored; empty for any other text (lower case, three
// digits, no digit at all). What a tool takes as a typed byte.
std::optional<int> TypedHex(const QString &text);

// A value in upper-case hexadecimal without leading zeros: 0 gives "0",
// 0xAB gives "AB". A negative value shows its 16-bit two's complement, as the
// tools hold every byte in a 16-bit integer.
QString FormatHex(int value);

// A byte in two upper-case hexadecimal digits, as the bus's bytes are
// written everywhere (lists, logs, reports): 0x0A gives "0A". Only the low
// byte of the value is shown.
QString HexByte(int value);
// Bytes in that form with a blank between them: "F0 9C 01 9D".
QString HexBytes(const QByteArray &bytes);
QString HexBytes(const QList<int> &values);

// The two-digit texts "00" .. "FF" of a byte field's list.
QStringList ByteTexts();
