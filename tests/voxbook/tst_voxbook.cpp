// voxbook's model: the vocabulary, where each scenario lives, the file and
// the scenario test on the wire.
#include "announcerimage.h"
#include "fakebusport.h"
#include "phrasebook.h"
#include "registertransfer.h"
#include "scenariofile.h"
#include "scenariotest.h"
#include "seriallink.h"

#include "testbytes.h"
#include <QSet>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using OptInt = std::optional<int>;

class TestVoxbook : public QObject
{
    Q_OBJECT
private slots:
    void vocabulary();
    void scenarioNumbers_data();
    void scenarioNumbers();
    void fileRoundTrip();
    void badFileLeavesImage_data();
    void badFileLeavesImage();
    void scenarioTest_data();
    void scenarioTest();
    void scenarioTestRefusals();
};

void TestVoxbook::vocabulary()
{
    QCOMPARE(PhraseTexts().mid(0, 3),
             (QStringList{u"нет"_s, u"сказать время"_s, u"сказать режимы работы"_s}));
    QSet<int> codes;
    for (const Phrase &phrase : Vocabulary()) {
        codes.insert(phrase.code);
        QCOMPARE(PhraseText(PhraseCode(phrase.text)), phrase.text);
    }
    QCOMPARE(codes.size(), 51);
    QCOMPARE(PhraseCode(u"температура контр. 3 на входе in-10"_s), 0xB3);
    QCOMPARE(PhraseCode(u"температура контр. 7 на входе in-9"_s), 0xA7);
    QCOMPARE(PhraseCode(u"Сон"_s), 0);
    QCOMPARE(PhraseText(0x10), u"нет"_s);

    // Each half of rows 1..8 and each of rows 9..24 but 17 is one scenario's.
    QSet<int> halves;
    for (const QString &number : ScenarioNumbers()) {
        const ScenarioPlace place = PlaceOfScenario(*OfferedScenario(number));
        QVERIFY(place.row >= 1 && place.row <= 24 && place.row != 17);
        for (int half : {0, 1})
            if (half == 0 ? place.firstHalf : place.secondHalf)
                halves.insert(place.row * 2 + half);
    }
    QCOMPARE(ScenarioNumbers().size(), 31);
    QCOMPARE(halves.size(), 8 * 2 + 15 * 2);
}

void TestVoxbook::scenarioNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptInt>("offered");
    QTest::addColumn<OptInt>("sendable");
    QTest::addColumn<QString>("place"); // row, then the slot halves in use
    QTest::newRow("E1") << u"E1"_s << OptInt(0xE1) << OptInt(0xE1) << u"1 -+"_s;
    QTest::newRow("E2") << u"E2"_s << OptInt(0xE2) << OptInt(0xE2) << u"2 +-"_s;
    QTest::newRow("F0") << u"F0"_s << OptInt(0xF0) << OptInt(0xF0) << u"9 ++"_s;
    QTest::newRow("F7") << u"F7"_s << OptInt(0xF7) << OptInt(0xF7) << u"16 ++"_s;
    QTest::newRow("F9, blanks") << u" F9 "_s << OptInt(0xF9) << OptInt(0xF9) << u"18 ++"_s;
    QTest::newRow("FF") << u"FF"_s << OptInt(0xFF) << OptInt(0xFF) << u"24 ++"_s;
    QTest::newRow("F8") << u"F8"_s << OptInt() << OptInt(0xF8) << QString();
    QTest::newRow("below E0") << u"05"_s << OptInt() << OptInt(0x05) << QString();
    QTest::newRow("empty") << QString() << OptInt() << OptInt() << QString();
    QTest::newRow("lower case") << u"e0"_s << OptInt() << OptInt() << QString();
    QTest::newRow("beyond FF") << u"G0"_s << OptInt() << OptInt() << QString();
    QTest::newRow("three digits") << u"1E0"_s << OptInt() << OptInt() << QString();
}

void TestVoxbook::scenarioNumbers()
{
    QFETCH(QString, text);
    QFETCH(OptInt, offered);
    QFETCH(OptInt, sendable);
    QFETCH(QString, place);
    QCOMPARE(OfferedScenario(text), offered);
    QCOMPARE(TypedScenarioNumber(text), sendable);
    if (offered) {
        const ScenarioPlace p = PlaceOfScenario(*offered);
        QCOMPARE(QString::number(p.row) + u' ' + QChar(p.firstHalf ? u'+' : u'-') +
                     QChar(p.secondHalf ? u'+' : u'-'),
                 place);
    }
}

void TestVoxbook::fileRoundTrip()
{
    AnnouncerImage image;
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            image.setCell(row, slot, qint16(row * 10 + slot - 40)); // row 17, negatives
    image.setCell(24, 7, 300);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"umd_9C.txt"_s);
    QCOMPARE(ScenarioFile::Save(image, path), QString());
    AnnouncerImage loaded;
    QCOMPARE(ScenarioFile::Load(loaded, path), QString());
    QVERIFY(loaded == image);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 217); // 216 lines, the last one ended too
    QStringEncoder cp1251("windows-1251");
    QCOMPARE(lines.at(0), QByteArray(cp1251.encode(u"\"регистр-0\"\r"_s)));
    QCOMPARE(lines.at(1), "-30\r");
    QCOMPARE(lines.at(207), QByteArray(cp1251.encode(u"\"регистр-23\"\r"_s)));
    file.close();

    // Labels are passed over unread; values may stand comma-separated.
    QByteArray commas;
    for (int row = 1; row <= 24; ++row)
        commas += "\"x\"," + QByteArray::number(row) + ",0,0,0,0,0,0,-7\r\n";
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            file.write(commas) == commas.size());
    file.close();
    QCOMPARE(ScenarioFile::Load(loaded, path), QString());
    QCOMPARE(loaded.cell(17, 0), 17);
    QCOMPARE(loaded.cell(24, 7), -7);
}

void TestVoxbook::badFileLeavesImage_data()
{
    QTest::addColumn<QByteArray>("contents"); // empty: no file at all
    QTest::addColumn<QString>("named");
    QByteArray block = "\"r\"\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n";
    QTest::newRow("missing") << QByteArray() << u"umd_9C.txt"_s;
    QTest::newRow("short") << block.repeated(3) << u"элементе 28"_s;
    QTest::newRow("not a number") << block + block.replace("5\r\n", "5a\r\n") << u"«5a»"_s;
}

void TestVoxbook::badFileLeavesImage()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, named);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"umd_9C.txt"_s);
    QFile file(path);
    QVERIFY(contents.isEmpty() ||
            (file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size()));
    file.close();
    AnnouncerImage image;
    image.setCell(1, 0, 0x0F);
    const AnnouncerImage before = image;
    const QString error = ScenarioFile::Load(image, path);
    QVERIFY2(error.contains(u"umd_9C.txt"_s) && error.contains(named), qPrintable(error));
    QVERIFY(image == before);
    QVERIFY(!ScenarioFile::Save(image, dir.filePath(u"no/umd_9C.txt"_s)).isEmpty());
}

void TestVoxbook::scenarioTest_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QByteArray>("play");
    QTest::newRow("E0") << u"E0"_s << Hex("F0 9C 0A FF E0 85");
    QTest::newRow("F0 stuffed") << u"F0"_s << Hex("F0 9C 0A FF F0 11 A6");
    QTest::newRow("FF") << u"FF"_s << Hex("F0 9C 0A FF FF A4");
    QTest::newRow("EF") << u"EF"_s << Hex("F0 9C 0A FF EF 94");
}

void TestVoxbook::scenarioTest()
{
    QFETCH(QString, number);
    QFETCH(QByteArray, play);
    FakeBusPort port;
    SerialLink link(&port);
    ScenarioTest *test = nullptr;
    RegisterTransferSetup setup{{}, 24, {}, {}, {}, [&test] { test->step(); }, 7ms};
    RegisterTransfer engine(&link, &port, setup);
    ScenarioTest scenarioTest(&link, &engine, 3ms);
    test = &scenarioTest;
    QSignalSpy status(test, &ScenarioTest::statusChanged);

    QVERIFY(test->start(number));
    QCOMPARE(port.written, play);
    QCOMPARE(engine.Timer1().interval(), 3);
    QTRY_COMPARE(engine.runMode(), 0);
    QCOMPARE(port.written, play + Hex("F0 9C 01 9D").repeated(10));
    QStringList expected;
    for (int poll = 0; poll <= 8; ++poll)
        expected.append(u"Статус: OK--"_s + QString::number(poll));
    expected.append(u"Статус:"_s + QString(32, u' '));
    QStringList texts;
    for (const QList<QVariant> &signal : status)
        texts.append(signal.at(0).toString());
    QCOMPARE(texts, expected);
    QCOMPARE(engine.Timer1().interval(), 7); // the write run's tick again
}

void TestVoxbook::scenarioTestRefusals()
{
    FakeBusPort port;
    SerialLink link(&port);
    RegisterTransfer engine(&link, &port, {[] { return 0x9C; }, 24, {}, {}, {}, {}, 1h});
    ScenarioTest test(&link, &engine);
    QSignalSpy status(&test, &ScenarioTest::statusChanged);

    QVERIFY(!test.start(u"1FF"_s));
    QVERIFY(status.last().at(0).toString().contains(u"«1FF» не отправить"_s));
    port.open = false;
    QVERIFY(!test.start(u"E0"_s));
    QVERIFY(status.last().at(0).toString().contains(u"не начата: Порт fake не открыт"_s));
    port.open = true;
    QVERIFY(engine.startReadRun());
    QVERIFY(!test.start(u"E0"_s)); // a run is active: ignored
    QVERIFY(port.written.isEmpty());
}

QTEST_GUILESS_MAIN(TestVoxbook)
#include "tst_voxbook.moc"
