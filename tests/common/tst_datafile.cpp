// Data-file items: byte-exact Windows-1251 lines, reading strictly by
// position, and failures that name the line and the item.
#include "datafile.h"
#include "safefile.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    void fullDiskAndKill();
    void notPlainFiles();
    void notices();
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
}

namespace {
// Saves `writer` over `path` with the file size limited to 300 bytes, as a
// full disk would refuse the rest; with `killed` in a child process that the
// limit ends half-way through the write, as a kill would.
QString SaveOnFullDisk(const DataFileWriter &writer, const QString &path, bool killed = false)
{
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 300;
    if (killed) {
        const pid_t child = fork();
        if (child == 0) {
            setrlimit(RLIMIT_FSIZE, &small);
            signal(SIGXFSZ, SIG_DFL);
            writer.save(path);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFSIGNALED(status) ? u"killed"_s : u"not killed"_s;
    }
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const QString error = writer.save(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    return error;
}
} // namespace

// A full disk and a killed process leave the old file whole, or, written in
// place, its old contents put back or kept where the next load says.
void TestDataFile::fullDiskAndKill()
{
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"sysload.txt"_s);
    DataFileWriter old;
    old.addNumber(1);
    QCOMPARE(old.save(path), QString());
    // A file that fits the write buffer fails as surely as one larger.
    for (int values : {100, 3000}) {
        DataFileWriter large;
        for (int i = 0; i < values; ++i)
            large.addNumber(i);
        QCOMPARE(SaveOnFullDisk(large, path),
                 u"Файл sysload.txt не записан: файл больше, чем позволяет система"_s);
        QCOMPARE(ReadFile(path), "1\r\n");
        QCOMPARE(SaveOnFullDisk(large, path, true), u"killed"_s);
        QCOMPARE(ReadFile(path), "1\r\n");
    }

    // In place: the file may be written, its folder takes no new file.
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x6666)));
    QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x5555)));
    const auto unlock =
        qScopeGuard([&] { QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7700)); });
    // Root writes into any folder, so the save runs as nobody would.
    const bool root = ::geteuid() == 0;
    QVERIFY(!root || ::setresuid(65534, 65534, 0) == 0);
    DataFileWriter large;
    for (int i = 0; i < 100; ++i)
        large.addNumber(i);
    const QString full = SaveOnFullDisk(large, path);
    const QString killed = SaveOnFullDisk(large, path, true);
    QVERIFY(!root || ::setresuid(0, 0, 0) == 0);
    QCOMPARE(full, u"Файл sysload.txt не записан: файл больше, чем позволяет система; прежнее "
                   u"содержимое восстановлено"_s);
    QCOMPARE(killed, u"killed"_s);
    QCOMPARE(ReadFile(path).size(), 300); // new values up to where the kill came
    DataFileReader reader;
    QVERIFY(reader.open(path));
    QCOMPARE(ReadFile(KeptCopyPath(path)), "1\r\n");
    QCOMPARE(reader.notice(),
             u"Запись файла sysload.txt была прервана, файл может быть испорчен; прежний файл "
             u"сохранён в "_s +
                 KeptCopyPath(path));
}

// What is no plain data file is refused at once, read or written: a pipe
// with no writer, a device without end, a file larger than any data file.
void TestDataFile::notPlainFiles()
{
    QTemporaryDir dir;
    const QString pipe = dir.filePath(u"pipe.txt"_s), zero = dir.filePath(u"zero.txt"_s),
                  big = dir.filePath(u"big.txt"_s);
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QVERIFY(QFile::link(u"/dev/zero"_s, zero));
    QFile file(big);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(MaxDataFileSize + 1));
    file.close();
    const QString notPlain = u"это не обычный файл (папка, канал или устройство)"_s;
    for (const auto &[path, reason] :
         {std::pair{pipe, notPlain}, std::pair{zero, notPlain},
          std::pair{big, u"файл больше 10 МБ, это не файл данных"_s}}) {
        DataFileReader reader;
        QVERIFY(!reader.open(path));
        QCOMPARE(reader.error(),
                 u"Файл %1 не прочитан: "_s.arg(QFileInfo(path).fileName()) + reason);
    }
    DataFileWriter writer;
    writer.addNumber(1);
    QCOMPARE(writer.save(pipe), u"Файл pipe.txt не записан: "_s + notPlain);
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

// A file that loads by position but does not look as the tools write it
// says where: a number where a label belongs (a line added above shifts
// every value after it), items after the last one.
void TestDataFile::notices()
{
    DataFileReader reader;
    reader.setContents("\"a\"\r\n1\r\n\"b\"\r\n2\r\n", u"umd_9C.txt"_s);
    QVERIFY(reader.skipItem() && reader.readNumber() && reader.skipItem());
    QCOMPARE(reader.notice(), QString());
    QVERIFY(reader.skipItem());
    QCOMPARE(reader.notice(), u"Файл umd_9C.txt, строка 4: на месте подписи стоит число «2», "
                              u"значения после него могут быть сдвинуты"_s);
    reader.setContents("1\r\n2\r\n\r\n", u"umd_9C.txt"_s);
    QVERIFY(reader.readNumber());
    reader.checkEnd();
    QCOMPARE(reader.notice(), u"Файл umd_9C.txt, строка 2: после последнего значения в файле "
                              u"есть ещё строки, они не прочитаны"_s);
    reader.setContents("1\r\n\r\n", u"umd_9C.txt"_s);
    QVERIFY(reader.readNumber());
    reader.checkEnd();
    QCOMPARE(reader.notice(), QString());
}

QTEST_GUILESS_MAIN(TestDataFile)
#include "tst_datafile.moc"
