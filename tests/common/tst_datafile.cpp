#include "datafile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

// Items of a file to write: a QString is a label, an int a number.
DataFileWriter writerFor(const QVariantList &items)
{
    DataFileWriter writer;
    for (const QVariant &item : items) {
        if (item.typeId() == QMetaType::QString)
            writer.addText(item.toString());
        else
            writer.addNumber(item.toInt());
    }
    return writer;
}

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int v : values)
        bytes.append(static_cast<char>(v));
    return bytes;
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestDataFile : public QObject
{
    Q_OBJECT

private slots:
    void encodedBytes_data()
    {
        QTest::addColumn<QVariantList>("items");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("cyrillic label")
            << QVariantList{u8("регистр-0")}
            << "\"" + bytesOf({0xF0, 0xE5, 0xE3, 0xE8, 0xF1, 0xF2, 0xF0}) + "-0\"\r\n";
        QTest::newRow("yo and numero sign")
            << QVariantList{u8("Ёё №")} << "\"" + bytesOf({0xA8, 0xB8, 0x20, 0xB9}) + "\"\r\n";
        QTest::newRow("numbers past a byte") << QVariantList{0, 7, 255, 256, 32767}
                                             << QByteArray("0\r\n7\r\n255\r\n256\r\n32767\r\n");
        QTest::newRow("negatives")
            << QVariantList{-1, -255, -32768} << QByteArray("-1\r\n-255\r\n-32768\r\n");
        QTest::newRow("empty label") << QVariantList{QString(), 5} << QByteArray("\"\"\r\n5\r\n");
    }
    void encodedBytes()
    {
        QFETCH(QVariantList, items);
        QFETCH(QByteArray, expected);
        QString error = QStringLiteral("stale");
        const std::optional<QByteArray> bytes = writerFor(items).encoded(&error);
        QVERIFY2(bytes.has_value(), qPrintable(error));
        QCOMPARE(*bytes, expected);
        QVERIFY(error.isEmpty());
    }

    void roundTrip_data()
    {
        QTest::addColumn<QVariantList>("items");
        QTest::newRow("register block") << QVariantList{
            u8("регистр-0"), 0, u8("регистр-1"), 255, u8("порог"), 256, -1, -32768, 32767};
        QTest::newRow("labels holding separators")
            << QVariantList{u8("a, b, c"), 1, u8("  отступ  "), 2, QString(), 3, u8("x,"), 4};
    }
    void roundTrip()
    {
        QFETCH(QVariantList, items);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("umd_9C.txt"));
        // A longer previous file must be replaced whole, not overwritten in part.
        QVERIFY(writeAll(path, QByteArray(4096, '7')));

        QCOMPARE(writerFor(items).save(path), QString());
        DataFileReader reader;
        QVERIFY2(reader.open(path), qPrintable(reader.error()));
        for (const QVariant &item : items) {
            if (item.typeId() == QMetaType::QString) {
                QVERIFY2(reader.skipItem(), qPrintable(reader.error()));
                continue;
            }
            const std::optional<qint16> value = reader.readNumber();
            QVERIFY2(value.has_value(), qPrintable(reader.error()));
            QCOMPARE(static_cast<int>(*value), item.toInt());
        }
        QVERIFY(!reader.skipItem());
        QCOMPARE(reader.itemsTaken(), static_cast<int>(items.size()));
    }

    void itemSyntax_data()
    {
        // Reads, blank-separated: "skip" passes an item over, "bad" expects a
        // refused number, anything else is the number expected. The file must
        // then be used up.
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reads");
        QTest::newRow("one per line") << QByteArray("1\r\n2\r\n3\r\n") << u8("1 2 3");
        QTest::newRow("commas on one line") << QByteArray("1,2,3\r\n") << u8("1 2 3");
        QTest::newRow("bare LF") << QByteArray("1\n2\n3\n") << u8("1 2 3");
        QTest::newRow("lone CR") << QByteArray("1\r2\r3\r") << u8("1 2 3");
        QTest::newRow("blanks around") << QByteArray(" 1 ,\t2\t\r\n  3  \r\n") << u8("1 2 3");
        QTest::newRow("blank lines")
            << QByteArray("\r\n1\r\n \t\r\n\n2\r\r3\r\n\r\n") << u8("1 2 3");
        QTest::newRow("comma at line end") << QByteArray("1,\r\n2,\r\n3,") << u8("1 2 3");
        QTest::newRow("no last line end") << QByteArray("1\r\n2\r\n3") << u8("1 2 3");
        QTest::newRow("label with comma")
            << QByteArray("\"a,b\",1\r\n\"\",2\r\n") << u8("skip 1 skip 2");
        QTest::newRow("junk after quote")
            << QByteArray("\"x\" junk, \"y\"z\r\n-4\r\n") << u8("skip skip -4");
        QTest::newRow("signs and zeros") << QByteArray("+12\r\n007\r\n-0\r\n") << u8("12 7 0");
        QTest::newRow("goes on after a bad item") << QByteArray("1,x,2\r\n") << u8("1 bad 2");
        QTest::newRow("empty between commas") << QByteArray("1,,2\r\n") << u8("1 bad 2");
    }
    void itemSyntax()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reads);
        DataFileReader reader;
        reader.setContents(bytes, QStringLiteral("umd_8x.txt"));
        for (const QString &read : reads.split(QLatin1Char(' '))) {
            if (read == QLatin1String("bad")) {
                QVERIFY(!reader.readNumber().has_value());
                QVERIFY(!reader.error().isEmpty());
                continue;
            }
            if (read == QLatin1String("skip")) {
                QVERIFY2(reader.skipItem(), qPrintable(reader.error()));
            } else {
                const std::optional<qint16> value = reader.readNumber();
                QVERIFY2(value.has_value(), qPrintable(reader.error()));
                QCOMPARE(*value, read.toShort());
            }
            QCOMPARE(reader.error(), QString());
        }
        QVERIFY2(!reader.skipItem(), "an item too many was found");
    }

    void readErrors_data()
    {
        // Numbers are read until one fails; that failure is checked.
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("fragment");
        const QString early = u8("кончился");
        const QString notNumber = u8("ожидалось число");
        QTest::newRow("ends early") << QByteArray("1\r\n2\r\n") << 3 << 3 << early;
        QTest::newRow("empty file") << QByteArray() << 1 << 1 << early;
        QTest::newRow("word") << QByteArray("1\r\nabc\r\n") << 2 << 2 << u8("«abc»");
        QTest::newRow("quoted digits") << QByteArray("\"5\"\r\n") << 1 << 1 << notNumber;
        QTest::newRow("inner blank") << QByteArray("1 2\r\n") << 1 << 1 << u8("«1 2»");
        QTest::newRow("sign only") << QByteArray("-\r\n") << 1 << 1 << notNumber;
        QTest::newRow("40000") << QByteArray("40000\r\n") << 1 << 1 << u8("40000");
        QTest::newRow("32768") << QByteArray("7\r\n32768\r\n") << 2 << 2 << u8("32768");
        QTest::newRow("-32769") << QByteArray("-32769\r\n") << 1 << 1 << u8("-32769");
        QTest::newRow("twenty digits") << QByteArray("99999999999999999999") << 1 << 1 << u8("вне");
        QTest::newRow("unclosed quote") << QByteArray("\"abc\r\n5\r\n") << 1 << 1 << u8("кавычка");
        QTest::newRow("commas counted") << QByteArray("1,2\r\n3,x\r\n") << 2 << 4 << notNumber;
        QTest::newRow("blank lines counted")
            << QByteArray("1\r\n\r\n \r\nx") << 4 << 2 << notNumber;
        QTest::newRow("lone CR counted") << QByteArray("1\r2\rx\r") << 3 << 3 << notNumber;
    }
    void readErrors()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        QFETCH(int, item);
        QFETCH(QString, fragment);
        DataFileReader reader;
        reader.setContents(bytes, QStringLiteral("umd_8x.txt"));
        for (int i = 0; i < 10 && reader.readNumber().has_value(); ++i) {
        }
        const QString error = reader.error();
        QVERIFY2(error.startsWith(u8("Файл umd_8x.txt, строка %1").arg(line)), qPrintable(error));
        QVERIFY2(error.contains(QRegularExpression(u8("элементе? %1(\\D|$)").arg(item))),
                 qPrintable(error));
        QVERIFY2(error.contains(fragment), qPrintable(error));
        QCOMPARE(reader.line(), line);
    }

    void unwritableText_data()
    {
        // The bad text is the second label, so it stands on line 3 of the file.
        QTest::addColumn<QString>("text");
        QTest::newRow("CJK") << u8("реле 中");
        QTest::newRow("emoji") << u8("лампа 💡");
        QTest::newRow("lone surrogate") << QString(QChar(0xD800));
        QTest::newRow("latin with accent") << u8("Zürich");
        QTest::newRow("inner quote") << u8("дверь \"кухня\"");
        QTest::newRow("line break") << u8("две\r\nстроки");
    }
    void unwritableText()
    {
        QFETCH(QString, text);
        DataFileWriter writer = writerFor({u8("первый"), 1, text, 2});
        QString error;
        QVERIFY(!writer.encoded(&error).has_value());
        QVERIFY2(error.contains(u8("строка 3")), qPrintable(error));

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("umd_9C.txt"));
        const QByteArray previous = "\"old\"\r\n1\r\n" + bytesOf({0xF0, 0x0D, 0x0A});
        QVERIFY(writeAll(path, previous));
        const QString reason = writer.save(path);
        QVERIFY2(reason.startsWith(u8("Файл umd_9C.txt не записан: строка 3")), qPrintable(reason));
        QCOMPARE(readAll(path), previous);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("umd_9C.txt")});
    }

    void ioFailures_data()
    {
        // Paths below a fresh temporary folder that holds an empty subfolder "dir".
        QTest::addColumn<QString>("relativePath");
        QTest::newRow("missing folder") << QStringLiteral("nowhere/umd_9C.txt");
        QTest::newRow("folder in the way") << QStringLiteral("dir");
    }
    void ioFailures()
    {
        QFETCH(QString, relativePath);
        QTemporaryDir dir;
        QVERIFY(dir.isValid() && QDir(dir.path()).mkdir(QStringLiteral("dir")));
        const QString path = dir.filePath(relativePath);
        const QString name = QFileInfo(path).fileName();

        const QString written = u8("Файл %1 не записан: ").arg(name);
        const QString reason = writerFor({u8("метка"), 1}).save(path);
        QVERIFY2(reason.startsWith(written) && reason.size() > written.size(), qPrintable(reason));

        DataFileReader reader;
        QVERIFY(!reader.open(path));
        QVERIFY2(reader.error().startsWith(u8("Файл %1 не прочитан: ").arg(name)),
                 qPrintable(reader.error()));
        QVERIFY(!reader.readNumber().has_value());
    }
};

QTEST_GUILESS_MAIN(TestDataFile)
#include "tst_datafile.moc"
