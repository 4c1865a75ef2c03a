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
    void everyScenarioHasItsOwnPlace();
    void typedNumbers_data();
    void typedNumbers();
    void fileRoundTrip();
    void fileReadsByPositionOnly();
    void badFileLeavesImage_data();
    void badFileLeavesImage();
    void scenarioTest_data();
    void scenarioTest();
    void scenarioTestRefusals();

private:
    QTemporaryDir m_dir;
};

void TestVoxbook::vocabulary()
{
    QCOMPARE(Vocabulary().size(), 51);
    QCOMPARE(PhraseTexts().mid(0, 3),
             (QStringList{u"нет"_s, u"сказать время"_s, u"сказать режимы работы"_s}));
    QSet<int> codes;
    for (const Phrase &phrase : Vocabulary()) {
        codes.insert(phrase.code);
        QCOMPARE(PhraseCode(phrase.text), phrase.code);
        QCOMPARE(PhraseText(phrase.code), phrase.text);
    }
    QCOMPARE(codes.size(), 51);
    QCOMPARE(PhraseCode(u"температура контр. 3 на входе in-10"_s), 0xB3);
    QCOMPARE(PhraseCode(u"температура контр. 7 на входе in-9"_s), 0xA7);
    QCOMPARE(PhraseCode(u"Сон"_s), 0);
    QCOMPARE(PhraseText(0x10), u"нет"_s);
}

void TestVoxbook::everyScenarioHasItsOwnPlace()
{
    const QStringList numbers = ScenarioNumbers();
    QCOMPARE(numbers.size(), 31);
    QCOMPARE(numbers.first(), u"E0"_s);
    QVERIFY(!numbers.contains(u"F8"_s));
    // Each half row of 1..8 and each whole row of 9..24 but 17 belongs to
    // exactly one scenario.
    QSet<int> taken;
    for (const QString &number : numbers) {
        const ScenarioPlace place = PlaceOfScenario(*OfferedScenario(number));
        QVERIFY2(place.row >= 1 && place.row <= 24 && place.row != 17, qPrintable(number));
        QCOMPARE(place.row <= 8, place.firstHalf != place.secondHalf);
        for (int half : {0, 1}) {
            if (!(half == 0 ? place.firstHalf : place.secondHalf))
                continue;
            const int key = place.row * 2 + half;
            QVERIFY2(!taken.contains(key), qPrintable(number));
            taken.insert(key);
        }
    }
    QCOMPARE(taken.size(), 8 * 2 + 15 * 2);
    const auto place = [](int n) {
        const ScenarioPlace p = PlaceOfScenario(n);
        return std::tuple{p.row, p.firstHalf, p.secondHalf};
    };
    QCOMPARE(place(0xE1), std::tuple(1, false, true));
    QCOMPARE(place(0xE2), std::tuple(2, true, false));
    QCOMPARE(place(0xEF), std::tuple(8, false, true));
    QCOMPARE(place(0xF0), std::tuple(9, true, true));
    QCOMPARE(place(0xF7), std::tuple(16, true, true));
    QCOMPARE(place(0xF9), std::tuple(18, true, true));
    QCOMPARE(place(0xFF), std::tuple(24, true, true));
}

void TestVoxbook::typedNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptInt>("offered");
    QTest::addColumn<OptInt>("sendable");
    QTest::newRow("E0") << u"E0"_s << OptInt(0xE0) << OptInt(0xE0);
    QTest::newRow("blanks around") << u" F9 "_s << OptInt(0xF9) << OptInt(0xF9);
    QTest::newRow("F8") << u"F8"_s << OptInt() << OptInt(0xF8);
    QTest::newRow("below E0") << u"05"_s << OptInt() << OptInt(0x05);
    QTest::newRow("empty") << QString() << OptInt() << OptInt();
    QTest::newRow("lower case") << u"e0"_s << OptInt() << OptInt();
    QTest::newRow("beyond FF") << u"G0"_s << OptInt() << OptInt();
    QTest::newRow("three digits") << u"1E0"_s << OptInt() << OptInt();
}

void TestVoxbook::typedNumbers()
{
    QFETCH(QString, text);
    QFETCH(OptInt, offered);
    QFETCH(OptInt, sendable);
    QCOMPARE(OfferedScenario(text), offered);
    QCOMPARE(TypedScenarioNumber(text), sendable);
}

void TestVoxbook::fileRoundTrip()
{
    AnnouncerImage image;
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            image.setCell(row, slot, qint16(row * 10 + slot - 40)); // negatives, 17, no phrases
    image.setCell(24, 7, 300);
    const QString path = m_dir.filePath(u"umd_9C.txt"_s);
    QCOMPARE(ScenarioFile::Save(image, path), QString());
    AnnouncerImage loaded;
    QCOMPARE(ScenarioFile::Load(loaded, path), QString());
    QVERIFY(loaded == image);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 217); // 216 lines, each ended by CR LF
    QVERIFY(lines.last().isEmpty());
    QStringEncoder cp1251("windows-1251");
    QCOMPARE(lines.at(0), QByteArray(cp1251.encode(u"\"регистр-0\"\r"_s)));
    QCOMPARE(lines.at(1), "-30\r");
    QCOMPARE(lines.at(207), QByteArray(cp1251.encode(u"\"регистр-23\"\r"_s)));
}

void TestVoxbook::fileReadsByPositionOnly()
{
    // Every label says register 0, and values stand comma-separated.
    QByteArray text;
    for (int row = 1; row <= 24; ++row)
        text += "\"x\"," + QByteArray::number(row) + ",0,0,0,0,0,0," + QByteArray::number(-row) +
                "\r\n";
    const QString path = m_dir.filePath(u"commas.txt"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    file.close();
    AnnouncerImage image;
    QCOMPARE(ScenarioFile::Load(image, path), QString());
    QCOMPARE(image.cell(17, 0), 17);
    QCOMPARE(image.cell(24, 7), -24);
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
    if (!contents.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    }
    AnnouncerImage image;
    image.setCell(1, 0, 0x0F);
    const AnnouncerImage before = image;
    const QString error = ScenarioFile::Load(image, path);
    QVERIFY2(error.contains(u"umd_9C.txt"_s) && error.contains(named), qPrintable(error));
    QVERIFY(image == before);
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
    RegisterTransferSetup setup;
    setup.registerCount = 24;
    setup.tick = 7ms;
    setup.ownWriteTimerTick = [&test] {
        test->step();
    };
    RegisterTransfer engine(&link, &port, setup);
    ScenarioTest scenarioTest(&link, &engine, 3ms);
    test = &scenarioTest;
    QSignalSpy status(test, &ScenarioTest::statusChanged);

    QVERIFY(test->start(number));
    QCOMPARE(engine.Timer1().interval(), 3);
    QCOMPARE(port.written, play);
    QTRY_COMPARE(engine.runMode(), 0);
    QCOMPARE(port.written, play + Hex("F0 9C 01 9D").repeated(10));
    QStringList texts;
    for (const QList<QVariant> &signal : status)
        texts.append(signal.at(0).toString());
    QCOMPARE(texts.size(), 10);
    for (int poll = 0; poll <= 8; ++poll)
        QCOMPARE(texts.at(poll), u"Статус: OK--"_s + QString::number(poll));
    QCOMPARE(texts.last(), u"Статус:"_s + QString(32, u' '));
    QVERIFY(!engine.Timer1().isActive());
    QCOMPARE(engine.Timer1().interval(), 7);
}

void TestVoxbook::scenarioTestRefusals()
{
    FakeBusPort port;
    SerialLink link(&port);
    RegisterTransferSetup setup;
    setup.registerCount = 24;
    RegisterTransfer engine(&link, &port, setup);
    ScenarioTest test(&link, &engine);
    QSignalSpy status(&test, &ScenarioTest::statusChanged);

    QVERIFY(!test.start(u"1FF"_s));
    QVERIFY(status.last().at(0).toString().contains(u"«1FF» не отправить"_s));
    port.open = false;
    QVERIFY(!test.start(u"E0"_s));
    QVERIFY(status.last().at(0).toString().contains(u"не начата: Порт fake не открыт"_s));
    QVERIFY(port.written.isEmpty());

    port.open = true;
    QVERIFY(engine.startReadRun());
    QVERIFY(!test.start(u"E0"_s)); // a run is active: ignored
    QVERIFY(port.written.isEmpty());
}

QTEST_GUILESS_MAIN(TestVoxbook)
#include "tst_voxbook.moc"
