// Data-file items: byte-exact Windows-1251 lines, reading strictly by
// position, and failures that name the line and the item.
#include "datafile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {
QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestDataFile : public QObject
{
    Q_OBJECT
private slots:
    void writtenExactKeptOnFailure();
    void itemsByPosition_data();
    void itemsByPosition();
    void readFailures_data();
    void readFailures();
};

// A file written byte-exact (the announcer's and indicators' files are read
// back in their own suites); a save that fails leaves it whole.
void TestDataFile::writtenExactKeptOnFailure()
{
    DataFileWriter writer;
    writer.addText(u"регистр-0"_s);
    for (int v : {0, -1, -32768, 32767})
        writer.addNumber(v);
    // "регистр" in Windows-1251, every line ended by CR LF, the last too.
    const QByteArray expected(
        "\"\xF0\xE5\xE3\xE8\xF1\xF2\xF0-0\"\r\n0\r\n-1\r\n-32768\r\n32767\r\n");
    QTemporaryDir dir;
    const QString path = dir.filePath(u"umd_9C.txt"_s);
    QCOMPARE(writer.save(path), QString());
    QCOMPARE(ReadFile(path), expected);

    // A label with a character Windows-1251 cannot carry: the file is not touched.
    DataFileWriter unwritable;
    unwritable.addNumber(7);
    unwritable.addText(u"indicator 中"_s);
    const QString error = unwritable.save(path);
    QVERIFY2(error.startsWith(u"Файл umd_9C.txt не записан: строка 2"_s), qPrintable(error));
    QCOMPARE(ReadFile(path), expected);

    // The disk refuses the new file half-way (here: a file size limit).
    DataFileWriter large;
    for (int i = 0; i < 3000; ++i)
        large.addNumber(i);
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const QString failed = large.save(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY2(failed.startsWith(u"Файл umd_9C.txt не записан: "_s), qPrintable(failed));
    QCOMPARE(ReadFile(path), expected);
}

void TestDataFile::itemsByPosition_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("LF ends, a comma at a line end, blank lines, no last line end")
        << QByteArray("\"\xC0\xE4\xF0\xE5\xF1\"\n1,\n\n  -2 \nlabel\n300");
    QTest::newRow("lone CR, blanks, text after a closing quote")
        << QByteArray("\"a\" x\r1 , -2\r\"\"\r300\r\n\r\n");
}

void TestDataFile::itemsByPosition()
{
    QFETCH(QByteArray, file);
    DataFileReader reader;
    reader.setContents(file, u"umd_8x.txt"_s);
    QVERIFY(reader.skipItem());
    QCOMPARE(reader.readNumber(), std::optional<qint16>(1));
    QCOMPARE(reader.readNumber(), std::optional<qint16>(-2));
    QVERIFY(reader.skipItem());
    QCOMPARE(reader.readNumber(), std::optional<qint16>(300));
    QVERIFY(!reader.skipItem());
}

void TestDataFile::readFailures_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error"); // reading numbers until one fails
    QTest::newRow("quoted where a number belongs")
        << QByteArray("1,\"2\"\r\n") << u"строка 1 (элемент 2): ожидалось число"_s;
    QTest::newRow("beyond 16 bits")
        << QByteArray("1\r\n\r\n40000\r\n") << u"строка 3 (элемент 2): число «40000» вне"_s;
    QTest::newRow("empty between commas")
        << QByteArray("1,,2\r\n") << u"строка 1 (элемент 2): ожидалось число"_s;
    QTest::newRow("a quote left open to the line end")
        << QByteArray("1\r\n\"2\r\n\"3\"\r\n") << u"строка 2 (элемент 2): кавычка не закрыта"_s;
}

void TestDataFile::readFailures()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    DataFileReader reader;
    reader.setContents(file, u"sysload.txt"_s);
    int taken = 0;
    while (reader.readNumber())
        QVERIFY(++taken < 10);
    QVERIFY2(reader.error().contains(error), qPrintable(reader.error()));
}

QTEST_GUILESS_MAIN(TestDataFile)
#include "tst_datafile.moc"
