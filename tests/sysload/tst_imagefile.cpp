// The image file: its exact lines, the round trip and the loader's failures.
#include "datafile.h"
#include "systemimage.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

namespace {
// A recognisable value for every entry a slot uses, with a few outside 0..255.
SystemImage Pattern()
{
    SystemImage image;
    for (int slot = 0; slot < SlotCount; ++slot)
        for (int n = 0; n < ControllerSlots()[static_cast<std::size_t>(slot)].registerCount; ++n)
            for (int j = 0; j < RegisterBytes; ++j)
                image.at(slot, n)[static_cast<std::size_t>(j)] =
                    static_cast<qint16>((slot * 37 + n * 11 + j * 5) % 256);
    image.at(3, 0)[0] = 0; // an unmarked slot
    image.at(0, 59)[7] = -5;
    image.at(18, 23)[0] = 1000;
    return image;
}

QByteArray Cp1251(const QString &text)
{
    return QStringEncoder("windows-1251").encode(text);
}

// Slot s's header stands after the lines of every slot before it.
int HeaderLine(int slot)
{
    int line = 1;
    for (int s = 0; s < slot; ++s)
        line += 1 + 9 * ControllerSlots()[static_cast<std::size_t>(s)].registerCount;
    return line;
}
} // namespace

class TestImageFile : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void lines_data();
    void lines();
    void roundTripTicksMarkedSlots();
    void handEditedTextsAreNotRead();
    void failedLoad_data();
    void failedLoad();

private:
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("sysload.txt")); }
    QList<QByteArray> savedLines(const SystemImage &image)
    {
        QString error = SaveImageFile(image, path());
        if (!error.isEmpty())
            qWarning() << error;
        QFile file(path());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> lines = file.readAll().split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
};

void TestImageFile::lines_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("text");

    QTest::newRow("first header") << 1 << u"\"Адрес  универсального контроллера - 0\""_qs;
    QTest::newRow("first label") << 2 << u"\"регистр-0\""_qs;
    QTest::newRow("first value") << 3 << u"0"_qs;
    QTest::newRow("label of register 3B") << 2 + 59 * 9 << u"\"регистр-3B\""_qs;
    QTest::newRow("negative value") << 2 + 59 * 9 + 8 << u"-5"_qs;
    QTest::newRow("slot 8 header")
        << HeaderLine(7) << u"\"Адрес  универсального контроллера - 7\""_qs;
    QTest::newRow("slot 9 header") << HeaderLine(8) << u"\"Адрес  контроллера индикатора - 80\""_qs;
    QTest::newRow("indicator's last label") << HeaderLine(8) + 1 + 8 * 9 << u"\"регистр-8\""_qs;
    QTest::newRow("keys") << HeaderLine(16) << u"\"Адрес  контроллера клавиатурного - 90\""_qs;
    QTest::newRow("synchroniser") << HeaderLine(17) << u"\"Адрес  контроллера системного - 98\""_qs;
    QTest::newRow("announcer") << HeaderLine(18) << u"\"Адрес  контроллера говорилки - 9C\""_qs;
    QTest::newRow("value above a byte") << HeaderLine(18) + 1 + 23 * 9 + 1 << u"1000"_qs;
    QTest::newRow("telephone") << HeaderLine(19) << u"\"Адрес  контроллера СМС - 9D\""_qs;
    QTest::newRow("last label") << 6716 - 8 << u"\"регистр-35\""_qs;
}

void TestImageFile::lines()
{
    QFETCH(int, line);
    QFETCH(QString, text);
    const QList<QByteArray> lines = savedLines(Pattern());
    QCOMPARE(lines.size(), 6716);
    QCOMPARE(HeaderLine(SlotCount), 6717);
    for (const QByteArray &each : lines)
        QVERIFY(each.endsWith('\r') && !each.chopped(1).contains('\r'));
    QCOMPARE(lines.at(line - 1), Cp1251(text) + '\r');
}

void TestImageFile::roundTripTicksMarkedSlots()
{
    const SystemImage saved = Pattern();
    QVERIFY(SaveImageFile(saved, path()).isEmpty());
    SystemImage loaded;
    QCOMPARE(LoadImageFile(loaded, path()), QString());
    QVERIFY(loaded == saved);

    std::array<bool, SlotCount> expected{};
    expected.fill(true);
    expected[0] = false; // (0 * 37) % 256 == 0
    expected[3] = false;
    QCOMPARE(PresentSlots(loaded), expected);
}

void TestImageFile::handEditedTextsAreNotRead()
{
    QList<QByteArray> lines = savedLines(Pattern());
    lines[0] = "\"anything at all\"\r";
    lines[1] = "\"\xf0\xe5\xe3\xe8\xf1\xf2\xf0-77\"\r"; // "регистр-77"
    lines[HeaderLine(8) - 1] = "\"\"\r";
    QFile file(path());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(lines.join('\n') + '\n');
    file.close();

    SystemImage loaded;
    QCOMPARE(LoadImageFile(loaded, path()), QString());
    QVERIFY(loaded == Pattern());
}

void TestImageFile::failedLoad_data()
{
    QTest::addColumn<int>("keepLines"); // lines of the saved file kept; -1: no file
    QTest::addColumn<QString>("badLine");
    QTest::addColumn<int>("intactSlots");
    QTest::addColumn<int>("valuesRead"); // values of slot 12's register 0 taken
    QTest::addColumn<QString>("reasonNames");

    // Slot 12 (index 11): its header, the label of register 0, then its values.
    const int slot12 = HeaderLine(11);
    QTest::newRow("no file") << -1 << QString() << 0 << 0 << u"не прочитан"_qs;
    QTest::newRow("ends inside slot 12") << slot12 + 5 << QString() << 11 << 4 << u"кончился"_qs;
    QTest::newRow("a value line that is no number")
        << 6716 << u"12a"_qs << 11 << 3 << QStringLiteral("строка %1").arg(slot12 + 5);
}

void TestImageFile::failedLoad()
{
    QFETCH(int, keepLines);
    QFETCH(QString, badLine);
    QFETCH(int, intactSlots);
    QFETCH(int, valuesRead);
    QFETCH(QString, reasonNames);

    const SystemImage saved = Pattern();
    if (keepLines >= 0) {
        QList<QByteArray> lines = savedLines(saved).first(keepLines);
        if (!badLine.isEmpty())
            lines[HeaderLine(11) + 5 - 1] = badLine.toLatin1() + '\r';
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(lines.join('\n') + '\n');
    } else {
        QFile::remove(path());
    }

    SystemImage loaded;
    loaded.at(11, 1)[0] = 77; // beyond the failure: keeps its value
    const QString reason = LoadImageFile(loaded, path());
    QVERIFY2(reason.contains(reasonNames), qPrintable(reason));
    for (int slot = 0; slot < intactSlots; ++slot)
        for (int n = 0; n < MaxRegisters; ++n)
            QCOMPARE(loaded.at(slot, n), saved.at(slot, n));
    // In the slot where reading stopped, the values before the failure are
    // new and the rest keep what the image held.
    for (int j = 0; j < RegisterBytes; ++j) {
        const auto at = static_cast<std::size_t>(j);
        QCOMPARE(loaded.at(11, 0)[at], j < valuesRead ? saved.at(11, 0)[at] : qint16(0));
    }
    QCOMPARE(loaded.at(11, 1)[0], qint16(77));
}

QTEST_GUILESS_MAIN(TestImageFile)
#include "tst_imagefile.moc"
