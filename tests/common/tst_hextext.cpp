// Hex text of the byte fields: the odd inputs an installer can type.
#include "hextext.h"

#include <QTest>

class TestHexText : public QObject
{
    Q_OBJECT
private slots:
    void hexValue_data();
    void hexValue();
    void formatHex_data();
    void formatHex();
    void byteTexts();
};

void TestHexText::hexValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("one digit") << QStringLiteral("5") << 5;
    QTest::newRow("two digits") << QStringLiteral("E0") << 0xE0;
    QTest::newRow("FF") << QStringLiteral("FF") << 0xFF;
    QTest::newRow("a third character is ignored") << QStringLiteral("123") << 0x12;
    QTest::newRow("F9 and anything") << QStringLiteral("F9x") << 249;
    QTest::newRow("a capital G is worth 16") << QStringLiteral("0G") << 0x10;
    QTest::newRow("lower-case a is worth 42") << QStringLiteral("a") << 42;
    QTest::newRow("lower-case b is worth 43") << QStringLiteral("b") << 43;
    QTest::newRow("lower-case pair") << QStringLiteral("ab") << 16 * 42 + 43;
    QTest::newRow("a blank is worth -23") << QStringLiteral(" ") << -23;
    // The Cyrillic Es is 0xD1 in Windows-1251.
    QTest::newRow("Cyrillic letter by its 8-bit code") << QStringLiteral("С") << 0xD1 - 55;
}

void TestHexText::hexValue()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(HexValue(text), std::optional<int>(value));
}

void TestHexText::formatHex_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << QStringLiteral("0");
    QTest::newRow("no leading zero") << 0x0A << QStringLiteral("A");
    QTest::newRow("upper case") << 0xAB << QStringLiteral("AB");
    QTest::newRow("above a byte") << 0x1AB << QStringLiteral("1AB");
    QTest::newRow("negative as 16 bits") << -1 << QStringLiteral("FFFF");
}

void TestHexText::formatHex()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(FormatHex(value), text);
}

void TestHexText::byteTexts()
{
    const QStringList texts = ByteTexts();
    QCOMPARE(texts.size(), 256);
    QCOMPARE(texts.first(), QStringLiteral("00"));
    QCOMPARE(texts.at(0x0A), QStringLiteral("0A"));
    QCOMPARE(texts.last(), QStringLiteral("FF"));
    QVERIFY(!HexValue(QString()).has_value());
    // Every list entry reads back as its own value.
    for (int v = 0; v < 256; ++v)
        QCOMPARE(HexValue(texts.at(v)), std::optional<int>(v));
}

QTEST_APPLESS_MAIN(TestHexText)
#include "tst_hextext.moc"
