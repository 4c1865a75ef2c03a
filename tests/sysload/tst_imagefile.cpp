// The image file: its exact lines, the round trip and the loader's failures.
#include "systemimage.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

namespace {
// A recognisable value for every entry, a few outside 0..255, one slot unmarked.
SystemImage Pattern()
{
    SystemImage image;
    for (int slot = 0; slot < SlotCount; ++slot)
        for (int n = 0; n < MaxRegisters; ++n)
            for (int j = 0; j < RegisterBytes; ++j)
                image.at(slot, n)[std::size_t(j)] = qint16((slot * 37 + n * 11 + j * 5 + 1) % 256);
    image.at(3, 0)[0] = 0;
    image.at(0, 59)[7] = -5;
    image.at(18, 23)[0] = 1000;
    return image;
}

// The line of slot s's header: after 1 + 9 x count lines of every slot before it.
int HeaderLine(int slot)
{
    int line = 1;
    for (int s = 0; s < slot; ++s)
        line += 1 + 9 * ControllerSlots()[std::size_t(s)].registerCount;
    return line;
}
} // namespace

class TestImageFile : public QObject
{
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
    void load_data();
    void load();

private:
    QList<QByteArray> savedLines()
    {
        const QString error = SaveImageFile(Pattern(), path());
        QFile file(path());
        if (!error.isEmpty() || !file.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> lines = file.readAll().split('\n');
        lines.removeLast(); // after the last CR LF
        return lines;
    }
    QString path() const { return m_dir.filePath(QStringLiteral("sysload.txt")); }
    QTemporaryDir m_dir;
};

void TestImageFile::lines_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("text");
    QTest::newRow("first header") << 1 << u"\"Адрес  универсального контроллера - 0\""_qs;
    QTest::newRow("first label") << 2 << u"\"регистр-0\""_qs;
    QTest::newRow("label 3B") << 2 + 59 * 9 << u"\"регистр-3B\""_qs;
    QTest::newRow("negative value") << 2 + 59 * 9 + 8 << u"-5"_qs;
    QTest::newRow("board 07") << HeaderLine(7) << u"\"Адрес  универсального контроллера - 7\""_qs;
    QTest::newRow("indicator 80") << HeaderLine(8) << u"\"Адрес  контроллера индикатора - 80\""_qs;
    QTest::newRow("its last label") << HeaderLine(8) + 73 << u"\"регистр-8\""_qs;
    QTest::newRow("keys") << HeaderLine(16) << u"\"Адрес  контроллера клавиатурного - 90\""_qs;
    QTest::newRow("synchroniser") << HeaderLine(17) << u"\"Адрес  контроллера системного - 98\""_qs;
    QTest::newRow("announcer") << HeaderLine(18) << u"\"Адрес  контроллера говорилки - 9C\""_qs;
    QTest::newRow("above a byte") << HeaderLine(18) + 1 + 23 * 9 + 1 << u"1000"_qs;
    QTest::newRow("telephone") << HeaderLine(19) << u"\"Адрес  контроллера СМС - 9D\""_qs;
    QTest::newRow("last label") << 6716 - 8 << u"\"регистр-35\""_qs;
}

void TestImageFile::lines()
{
    QFETCH(int, line);
    QFETCH(QString, text);
    const QList<QByteArray> lines = savedLines();
    QCOMPARE(lines.size(), 6716);
    QVERIFY(std::all_of(lines.begin(), lines.end(),
                        [](const QByteArray &l) { return l.indexOf('\r') == l.size() - 1; }));
    QCOMPARE(lines.at(line - 1), QStringEncoder("windows-1251").encode(text) + '\r');
}

void TestImageFile::load_data()
{
    QTest::addColumn<int>("keepLines");   // lines of the saved file kept; 0: no file
    QTest::addColumn<int>("changedLine"); // a line replaced by "changedTo"
    QTest::addColumn<QByteArray>("changedTo");
    QTest::addColumn<QString>("failure"); // part of the reason; empty for a good load
    QTest::addColumn<int>("valuesRead");  // values of slot 12's register 0 taken

    // Slot 12 (index 11): its header, the label of register 0, then its values.
    const int slot12 = HeaderLine(11);
    QTest::newRow("as saved") << 6716 << 0 << QByteArray() << QString() << 8;
    QTest::newRow("edited header") << 6716 << 1 << QByteArray("\"anything\"") << QString() << 8;
    QTest::newRow("edited label") << 6716 << slot12 + 1 << QByteArray("\"\"") << QString() << 8;
    QTest::newRow("no file") << 0 << 0 << QByteArray() << u"не прочитан"_qs << 0;
    QTest::newRow("ends inside slot 12") << slot12 + 5 << 0 << QByteArray() << u"кончился"_qs << 4;
    QTest::newRow("a value that is no number") << 6716 << slot12 + 5 << QByteArray("12a")
                                               << QStringLiteral("строка %1").arg(slot12 + 5) << 3;
}

void TestImageFile::load()
{
    QFETCH(int, keepLines);
    QFETCH(int, changedLine);
    QFETCH(QByteArray, changedTo);
    QFETCH(QString, failure);
    QFETCH(int, valuesRead);

    QList<QByteArray> lines = savedLines().first(keepLines);
    if (changedLine > 0)
        lines[changedLine - 1] = changedTo + '\r';
    QFile::remove(path());
    if (keepLines > 0) {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(lines.join('\n') + '\n');
    }

    SystemImage loaded;
    loaded.at(11, 1)[0] = 77; // beyond any failure: keeps its value
    const QString reason = LoadImageFile(loaded, path());
    QVERIFY2(failure.isEmpty() ? reason.isEmpty() : reason.contains(failure), qPrintable(reason));
    const SystemImage saved = Pattern();
    if (failure.isEmpty()) {
        // Only the registers a slot has go through the file.
        for (int slot = 0; slot < SlotCount; ++slot)
            for (int n = 0; n < ControllerSlots()[std::size_t(slot)].registerCount; ++n)
                QCOMPARE(loaded.at(slot, n), saved.at(slot, n));
        std::array<bool, SlotCount> marked;
        marked.fill(true);
        marked[3] = false;
        QCOMPARE(PresentSlots(loaded), marked);
        return;
    }
    for (int slot = 0; slot < (keepLines > 0 ? 11 : 0); ++slot)
        QCOMPARE(loaded.at(slot, 0), saved.at(slot, 0));
    for (int j = 0; j < RegisterBytes; ++j)
        QCOMPARE(loaded.at(11, 0)[std::size_t(j)],
                 j < valuesRead ? saved.at(11, 0)[std::size_t(j)] : 0);
    QCOMPARE(loaded.at(11, 1)[0], 77);
}

QTEST_GUILESS_MAIN(TestImageFile)
#include "tst_imagefile.moc"
