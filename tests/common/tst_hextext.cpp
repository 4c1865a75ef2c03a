// Hex text of the byte fields, with the odd inputs an installer can type.
#include "hextext.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Value = std::optional<int>;
Q_DECLARE_METATYPE(Value)

class TestHexText : public QObject
{
    Q_OBJECT
private slots:
    void hexText_data();
    void hexText();
    void byteTexts();
};

void TestHexText::hexText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Value>("value");   // as a field reads it
    QTest::addColumn<Value>("typed");   // as a typed byte
    QTest::addColumn<QString>("shown"); // the value shown again
    QTest::newRow("one digit") << u"5"_s << Value(5) << Value(5) << u"5"_s;
    QTest::newRow("a third character is ignored") << u"1E0"_s << Value(0x1E) << Value() << u"1E"_s;
    QTest::newRow("a capital G is worth 16") << u"0G"_s << Value(0x10) << Value() << u"10"_s;
    QTest::newRow("lower-case a is worth 42") << u"a"_s << Value(42) << Value() << u"2A"_s;
    QTest::newRow("a blank is worth -23; typed blanks are trimmed")
        << u" F9 "_s << Value(-23 * 16 + 15) << Value(0xF9) << u"FE9F"_s;
    QTest::newRow("blank between digits") << u"8 F"_s << Value(8 * 16 - 23) << Value() << u"69"_s;
    // Cyrillic Es, 0xD1 in Windows-1251, as in a mistyped "9С".
    QTest::newRow("Cyrillic letter") << u"9С"_s << Value(9 * 16 + 0xD1 - 55) << Value() << u"12A"_s;
    QTest::newRow("empty text has no value") << QString() << Value() << Value() << QString();
}

void TestHexText::hexText()
{
    QFETCH(QString, text);
    QFETCH(Value, value);
    QFETCH(Value, typed);
    QFETCH(QString, shown);
    QCOMPARE(HexValue(text), value);
    QCOMPARE(TypedHex(text), typed);
    QCOMPARE(value ? FormatHex(*value) : QString(), shown);
}

void TestHexText::byteTexts()
{
    // Every entry of a byte field's list reads back as its own value.
    const QStringList texts = ByteTexts();
    QCOMPARE(texts.size(), 256);
    QCOMPARE(texts.at(0x0A), u"0A"_s);
    for (int v = 0; v < 256; ++v)
        QCOMPARE(HexValue(texts.at(v)), Value(v));
}

QTEST_APPLESS_MAIN(TestHexText)
#include "tst_hextext.moc"
