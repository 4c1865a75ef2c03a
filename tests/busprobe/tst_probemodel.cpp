// The tables behind the two lists, the reading of the byte fields and the
// take-over of a good reply, without a window.
#include "probemodel.h"

#include <QTest>

class TestProbeModel : public QObject
{
    Q_OBJECT
private slots:
    void controllerAddress_data();
    void controllerAddress();
    void commandSetup_data();
    void commandSetup();
    void enabledFieldsAreTheSentOnes();
    void readFields_data();
    void readFields();
    void takeOver();
};

void TestProbeModel::controllerAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("address");
    QTest::newRow("first board") << u"плата 0"_qs << 0x00;
    QTest::newRow("last board") << u"плата 7"_qs << 0x07;
    QTest::newRow("indicator") << u"индикатор 83"_qs << 0x83;
    QTest::newRow("announcer, Cyrillic Es") << u"говорилка 9С"_qs << 0x9C;
    QTest::newRow("telephone, Latin D") << u"телефон 9D"_qs << 0x9D;
    QTest::newRow("announcer typed with a Latin C") << u"говорилка 9C"_qs << 0x00;
    QTest::newRow("typed board not in the list") << u"плата 9"_qs << 0x00;
    QTest::newRow("other case") << u"Клавиши 90"_qs << 0x00;
    QTest::newRow("trailing blank") << u"синхронизатор 98 "_qs << 0x00;
}

void TestProbeModel::controllerAddress()
{
    QFETCH(QString, text);
    QFETCH(int, address);
    QCOMPARE(ControllerAddress(text), address);
}

void TestProbeModel::commandSetup_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("toSync");
    QTest::addColumn<QString>("fields");  // ByteField order: adrd, d0..d7, zone, status
    QTest::addColumn<QString>("caption"); // to a controller; "=" left as it was

    const QString blanks53(53, u' ');
    QTest::newRow("presence") << u"опрос наличия"_qs << 0x01 << false << u"00000000000"_qs
                              << blanks53;
    QTest::newRow("typed with a trailing blank")
        << u"читать 1 яч памяти "_qs << 0x01 << false << u"00000000000"_qs << blanks53;
    QTest::newRow("read cell") << u"читать 1 яч памяти"_qs << 0x04 << false << u"10000000000"_qs
                               << u"данные"_qs + QString(39, u' ');
    QTest::newRow("write cell") << u"запись 1 яч памяти"_qs << 0x02 << false << u"11000000000"_qs
                                << u"данные"_qs + QString(39, u' ');
    QTest::newRow("read 8 cells") << u"читать 8 яч памяти"_qs << 0x03 << false << u"10000000000"_qs
                                  << blanks53;
    QTest::newRow("write 8 cells")
        << u"запись 8 яч памяти"_qs << 0x06 << false << u"11111111100"_qs << blanks53;
    QTest::newRow("read register")
        << u"читать 8 яч регист"_qs << 0x07 << false << u"10000000000"_qs << blanks53;
    QTest::newRow("write register")
        << u"запись 8 яч регист"_qs << 0x08 << false << u"11111111100"_qs << blanks53;
    QTest::newRow("auxiliary") << u"дополнительная"_qs << 0x09 << false << u"01100000000"_qs
                               << u"команда    данные"_qs + QString(21, u' ');
    QTest::newRow("action") << u"действие"_qs << 0x0A << false << u"01100000000"_qs
                            << u"------действие----------"_qs + QString(21, u' ');
    QTest::newRow("write register cell")
        << u"запись 1 яч регистра"_qs << 0x0B << false << u"01110000000"_qs
        << u" адрес        номер         данные "_qs;
    QTest::newRow("full sync") << u"синхронизация полная"_qs << 0x06 << true << u"00000000011"_qs
                               << blanks53;
    QTest::newRow("status and zone sync")
        << u"синхрон. стат. и зоны"_qs << 0x02 << true << u"00000000011"_qs << u"="_qs;
}

void TestProbeModel::commandSetup()
{
    QFETCH(QString, text);
    QFETCH(int, code);
    QFETCH(bool, toSync);
    QFETCH(QString, fields);
    QFETCH(QString, caption);
    const CommandSetup setup = SetupForCommand(text);
    QCOMPARE(setup.commandCode, code);
    QCOMPARE(setup.toSyncAddress, toSync);
    QString shown;
    for (int i = 0; i < ByteFieldCount; ++i)
        shown += setup.fields.test(static_cast<std::size_t>(i)) ? u'1' : u'0';
    QCOMPARE(shown, fields);
    const std::optional<QString> label =
        DataRowCaption(code, toSync ? SyncAddress : ControllerAddress(u"плата 1"_qs));
    QCOMPARE(label.value_or(u"="_qs), caption);
}

// The fields a command enables are the ones it checks before a send, so
// they must be exactly the ones whose value reaches the wire.
void TestProbeModel::enabledFieldsAreTheSentOnes()
{
    const QDateTime now(QDate(2024, 3, 3), QTime(21, 7, 45));
    for (const QString &text : CommandTexts()) {
        const CommandSetup setup = SetupForCommand(text);
        const int address = setup.toSyncAddress ? SyncAddress : 0x05;
        const auto base = ComposeRequest(address, setup.commandCode, {}, now);
        for (int i = 0; i < ByteFieldCount; ++i) {
            RequestFields changed;
            FieldValue(changed, static_cast<ByteField>(i)) = 0x55;
            const bool sent = ComposeRequest(address, setup.commandCode, changed, now) != base;
            QVERIFY2(sent == setup.fields.test(static_cast<std::size_t>(i)),
                     qPrintable(text + u' ' + FieldObjectName(static_cast<ByteField>(i))));
        }
    }
}

void TestProbeModel::readFields_data()
{
    QTest::addColumn<QStringList>("texts"); // adrd, d0..d7, zone, status
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<QString>("refusal");

    const QStringList zeros(ByteFieldCount, u"00"_qs);
    QStringList typed = zeros;
    typed[0] = u"5"_qs;   // one digit: its own worth
    typed[1] = u"123"_qs; // the third digit is ignored
    typed[2] = u"0G"_qs;  // no character is refused
    typed[3] = u"ff"_qs;  // lower case: 799, kept while the field is not sent
    typed[4] = QString(); // empty and not sent: keeps the value before
    QTest::newRow("hex texts") << typed << u"11100000000"_qs
                               << QList<int>{0x05, 0x12, 0x10, 799, 7, 0, 0, 0, 0, 0, 0}
                               << QString();
    QTest::newRow("empty field that is sent")
        << typed << u"00001000000"_qs << QList<int>() << u"Статус: поле «данные 3» пусто"_qs;
    QTest::newRow("sent field out of range") << typed << u"00010000000"_qs << QList<int>()
                                             << u"Статус: в поле «данные 2» не байт 00..FF"_qs;
}

void TestProbeModel::readFields()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, sent);
    QFETCH(QList<int>, values);
    QFETCH(QString, refusal);
    FieldSet sentSet;
    for (int i = 0; i < ByteFieldCount; ++i)
        sentSet.set(static_cast<std::size_t>(i), sent[i] == u'1');
    RequestFields previous;
    previous.data[3] = 7;
    const FieldReading reading = ReadFields(texts, sentSet, previous);
    QCOMPARE(reading.refusal, refusal);
    if (!refusal.isEmpty())
        return;
    QList<int> read;
    for (int i = 0; i < ByteFieldCount; ++i)
        read.append(FieldValue(reading.values, static_cast<ByteField>(i)));
    QCOMPARE(read, values);
}

// A one-cell reply brings the cell and one byte; a reply without data (a
// write's, or a synchronisation's from address 10) leaves every value, zone
// and status included, as the send read it.
void TestProbeModel::takeOver()
{
    const RequestFields before{9, {9, 9, 9, 9, 9, 9, 9, 9}, 9, 9};
    RequestFields fields = before;
    ReplyJudgement judgement{Verdict::Ok, ReplyDone, SyncAddress, {}};
    TakeOver(fields, judgement);
    QCOMPARE(fields.data, before.data);
    QCOMPARE(std::pair(fields.zone, fields.status), std::pair(9, 9));
    judgement = {Verdict::Ok, ReplyMemoryCell, 0x05, {0x20, 0xF0}};
    TakeOver(fields, judgement);
    QCOMPARE(std::pair(fields.cellAddress, fields.data[0]), std::pair(0x20, 0xF0));
    QCOMPARE(fields.data[1], 9);
}

QTEST_GUILESS_MAIN(TestProbeModel)
#include "tst_probemodel.moc"
