// Frame composition and reply judgement against the bus's golden bytes. The
// common requests and replies are also met whole in the tools' own suites;
// here stand the edges: stuffing, checksums of F0, BCD, refused values.
#include "busframe.h"
#include "replybuffer.h"

#include "testbytes.h"
#include <QTest>

namespace {
RequestFields Fields(int cell, std::array<int, 8> data = {}, int zone = 0, int status = 0)
{
    return {cell, data, zone, status};
}
} // namespace

Q_DECLARE_METATYPE(RequestFields)

class TestBusFrame : public QObject
{
    Q_OBJECT
private slots:
    void composeRequest_data();
    void composeRequest();
    void packedBcd();
    void judgeReply_data();
    void judgeReply();
};

void TestBusFrame::composeRequest_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<RequestFields>("fields");
    QTest::addColumn<QByteArray>("wire"); // empty: never composed

    QTest::newRow("a poll sends no field")
        << 0x9C << int(PresencePoll) << Fields(0x55, {1, 2, 3, 4, 5, 6, 7, 8}, 9, 9)
        << Hex("F0 9C 01 9D");
    QTest::newRow("checksum F0 goes alone; an unsent field may hold anything")
        << 0x05 << int(ReadMemoryCell) << Fields(0xE7, {0x1AB}) << Hex("F0 05 04 E7 F0");
    QTest::newRow("eight cells to 06 in order, no sync")
        << 0x06 << int(WriteMemoryBlock) << Fields(0x40, {1, 2, 3, 4, 5, 6, 7, 8}, 3, 4)
        << Hex("F0 06 06 40 01 02 03 04 05 06 07 08 70");
    QTest::newRow("nine stuffed bytes, each stuffing byte counted")
        << 0x00 << int(WriteMemoryBlock)
        << Fields(0xF0, {0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0})
        << Hex("F0 00 06 F011 F011 F011 F011 F011 F011 F011 F011 F011 0F");
    QTest::newRow("auxiliary: command then data")
        << 0x90 << int(AuxiliaryCommand) << Fields(0, {1, 2}) << Hex("F0 90 09 01 02 9C");
    QTest::newRow("one register cell: address, number, data")
        << 0x98 << int(WriteRegisterCell) << Fields(0x77, {1, 2, 3}) << Hex("F0 98 0B 01 02 03 A9");
    // Sunday 21:07:45 in BCD; the closing zeros are never stuffed.
    QTest::newRow("full sync: status F0 stuffed, then zone")
        << SyncAddress << int(FullSync) << Fields(0, {}, 0x02, 0xF0)
        << Hex("F0 10 06 FF 06 21 07 45 F0 11 02 00 00 8B");
    QTest::newRow("to 10 any other code: zone then status")
        << SyncAddress << int(ReadRegisterBlock) << Fields(0x40, {}, 0x03, 0x04)
        << Hex("F0 10 07 03 04 1E");
    QTest::newRow("data above a byte")
        << 0x02 << int(WriteMemoryCell) << Fields(0x10, {0x1AB}) << QByteArray();
    QTest::newRow("cell below zero") << 0x02 << int(ReadMemoryCell) << Fields(-1) << QByteArray();
    QTest::newRow("address above a byte")
        << 0x100 << int(PresencePoll) << Fields(0) << QByteArray();
}

void TestBusFrame::composeRequest()
{
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(RequestFields, fields);
    QFETCH(QByteArray, wire);
    const QDateTime sundayEvening(QDate(2026, 12, 6), QTime(21, 7, 45));
    QCOMPARE(ComposeRequest(address, command, fields, sundayEvening).value_or("").toHex(' '),
             wire.toHex(' '));
}

void TestBusFrame::packedBcd()
{
    for (auto [value, bcd] : {std::pair{9, 9}, {10, 0x10}, {59, 0x59}, {60, 60}})
        QCOMPARE(ToPackedBcd(value), bcd);
}

void TestBusFrame::judgeReply_data()
{
    QTest::addColumn<QByteArray>("earlier"); // what an earlier reception left in the slots
    QTest::addColumn<QByteArray>("reply");   // one receive event; empty: none came
    QTest::addColumn<int>("requestAddress");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QList<int>>("payload");

    const QString ok = QStringLiteral("Статус:  ОК");
    QTest::newRow("stuffed cell reply")
        << QByteArray() << Hex("F8 05 04 20 F0 11 2A") << 0x05 << ok << QList<int>{0x20, 0xF0};
    QTest::newRow("any stuffing byte is counted and skipped")
        << QByteArray() << Hex("F8 05 04 20 F0 22 3B") << 0x05 << ok << QList<int>{0x20, 0xF0};
    QTest::newRow("reply code 02 carries no data")
        << QByteArray() << Hex("F8 9C 02 9E") << 0x9C << ok << QList<int>{};
    QTest::newRow("nothing came, whatever slot 1 holds from before")
        << Hex("F8 05 01 06") << QByteArray() << 0x05 << QStringLiteral("Статус:  нет ответа")
        << QList<int>{};
    QTest::newRow("another address is checked before the reply code")
        << QByteArray() << Hex("F8 05 06 00 0B") << 0x06 << QStringLiteral("Статус:  нет ответа")
        << QList<int>{};
    QTest::newRow("bytes that are not a reply")
        << QByteArray() << Hex("F0 03 01 04") << 0x05
        << QStringLiteral("Статус: запрос другой платке") << QList<int>{};
}

void TestBusFrame::judgeReply()
{
    QFETCH(QByteArray, earlier);
    QFETCH(QByteArray, reply);
    QFETCH(int, requestAddress);
    QFETCH(QString, status);
    QFETCH(QList<int>, payload);

    ReplyBuffer buffer;
    buffer.place(0, earlier);
    const int offset = reply.isEmpty() ? 0 : buffer.place(0, reply);
    const ReplyJudgement judgement = JudgeReply(buffer, offset, requestAddress);
    QCOMPARE(VerdictText(judgement.verdict), status); // one text for each verdict
    QCOMPARE(judgement.payload, payload);
}

QTEST_APPLESS_MAIN(TestBusFrame)
#include "tst_busframe.moc"
