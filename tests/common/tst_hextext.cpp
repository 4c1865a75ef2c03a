// Hex text of the byte fields, with the odd inputs an installer can type.
#include "hextext.h"

#include <QTest>

class TestHexText : public QObject
{
    Q_OBJECT
private slots:
    void hexValue_data();
    void hexValue();
    void formatHex();
};

void TestHexText::hexValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("one digit") << QStringLiteral("5") << 5;
    QTest::newRow("two digits") << QStringLiteral("E0") << 0xE0;
    QTest::newRow("a third character is ignored") << QStringLiteral("123") << 0x12;
    QTest::newRow("F9 and anything") << QStringLiteral("F9x") << 249;
    QTest::newRow("a capital G is worth 16") << QStringLiteral("0G") << 0x10;
    QTest::newRow("lower-case a is worth 42") << QStringLiteral("a") << 42;
    QTest::newRow("a blank is worth -23") << QStringLiteral(" ") << -23;
    // Cyrillic Es, 0xD1 in Windows-1251, as in a mistyped "9С".
    QTest::newRow("Cyrillic letter by its 8-bit code")
        << QStringLiteral("9С") << 9 * 16 + 0xD1 - 55;
}

void TestHexText::hexValue()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(HexValue(text), std::optional<int>(value));
}

void TestHexText::formatHex()
{
    QCOMPARE(FormatHex(0), QStringLiteral("0"));
    QCOMPARE(FormatHex(0x0A), QStringLiteral("A"));
    QCOMPARE(FormatHex(0xAB), QStringLiteral("AB"));
    QCOMPARE(FormatHex(0x1AB), QStringLiteral("1AB"));
    QCOMPARE(FormatHex(-1), QStringLiteral("FFFF"));
    QVERIFY(!HexValue(QString()).has_value());
    // Every entry of a byte field's list reads back as its own value.
    const QStringList texts = ByteTexts();
    QCOMPARE(texts.size(), 256);
    QCOMPARE(texts.at(0x0A), QStringLiteral("0A"));
    for (int v = 0; v < 256; ++v)
        QCOMPARE(HexValue(texts.at(v)), std::optional<int>(v));

    // A typed byte: one or two upper-case digits, blanks around them ignored.
    QList<std::optional<int>> typed;
    for (const char *text : {" F9 ", "F8", "5", "", "e0", "G0", "1E0", "8 F"})
        typed.append(TypedHex(QString::fromLatin1(text)));
    QCOMPARE(typed, (QList<std::optional<int>>{0xF9, 0xF8, 5, {}, {}, {}, {}, {}}));
}

QTEST_APPLESS_MAIN(TestHexText)
#include "tst_hextext.moc"
