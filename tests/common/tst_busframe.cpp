// Frame composition and reply judgement against the bus's golden bytes.
#include "busframe.h"
#include "replybuffer.h"

#include "testbytes.h"
#include <QTest>

namespace {

RequestFields Fields(int cell, std::array<int, 8> data = {}, int zone = 0, int status = 0)
{
    RequestFields f;
    f.cellAddress = cell;
    f.data = data;
    f.zone = zone;
    f.status = status;
    return f;
}

// Sunday 6 December 2026, 21:07:45.
const QDateTime SundayEvening(QDate(2026, 12, 6), QTime(21, 7, 45));

} // namespace

Q_DECLARE_METATYPE(RequestFields)

class TestBusFrame : public QObject
{
    Q_OBJECT
private slots:
    void composeRequest_data();
    void composeRequest();
    void outOfRangeByteNeverComposed();
    void packedBcd();
    void judgeReply_data();
    void judgeReply();
};

void TestBusFrame::composeRequest_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<RequestFields>("fields");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("presence poll to the announcer")
        << 0x9C << int(PresencePoll) << Fields(0) << Hex("F0 9C 01 9D");
    QTest::newRow("fields a command does not send are not sent")
        << 0x9C << int(PresencePoll) << Fields(0x55, {1, 2, 3, 4, 5, 6, 7, 8}, 9, 9)
        << Hex("F0 9C 01 9D");
    QTest::newRow("write cell with F0 stuffed and counted")
        << 0x03 << int(WriteMemoryCell) << Fields(0x10, {0xF0}) << Hex("F0 03 02 10 F0 11 16");
    QTest::newRow("checksum F0 goes out alone")
        << 0x05 << int(ReadMemoryCell) << Fields(0xE7) << Hex("F0 05 04 E7 F0");
    QTest::newRow("read 8 cells") << 0x02 << int(ReadMemoryBlock) << Fields(0x40)
                                  << Hex("F0 02 03 40 45");
    QTest::newRow("write 8 cells")
        << 0x02 << int(WriteMemoryBlock) << Fields(0x40, {1, 2, 3, 4, 5, 6, 7, 8})
        << Hex("F0 02 06 40 01 02 03 04 05 06 07 08 6C");
    QTest::newRow("read register 0 of the announcer")
        << 0x9C << int(ReadRegisterBlock) << Fields(0) << Hex("F0 9C 07 00 A3");
    QTest::newRow("write register 0 of the announcer")
        << 0x9C << int(WriteRegisterBlock) << Fields(0, {0x0F, 0x34, 0x35})
        << Hex("F0 9C 08 00 0F 34 35 00 00 00 00 00 1C");
    QTest::newRow("longest request: nine stuffed bytes, 22 on the wire")
        << 0x00 << int(WriteMemoryBlock)
        << Fields(0xF0, {0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0})
        << Hex("F0 00 06 F011 F011 F011 F011 F011 F011 F011 F011 F011 0F");
    QTest::newRow("auxiliary: command then data")
        << 0x90 << int(AuxiliaryCommand) << Fields(0, {1, 2}) << Hex("F0 90 09 01 02 9C");
    QTest::newRow("action: the announcer plays E0")
        << 0x9C << int(ActionCommand) << Fields(0, {0xFF, 0xE0}) << Hex("F0 9C 0A FF E0 85");
    QTest::newRow("write one register cell: address, number, data")
        << 0x98 << int(WriteRegisterCell) << Fields(0x77, {1, 2, 3}) << Hex("F0 98 0B 01 02 03 A9");
    QTest::newRow("full sync: Sunday 21:07:45, status before zone")
        << SyncAddress << int(FullSync) << Fields(0, {}, 0x02, 0x01)
        << Hex("F0 10 06 FF 06 21 07 45 01 02 00 00 8B");
    QTest::newRow("full sync: a status F0 is stuffed, the closing zeros are not")
        << SyncAddress << int(FullSync) << Fields(0, {}, 0x02, 0xF0)
        << Hex("F0 10 06 FF 06 21 07 45 F0 11 02 00 00 8B");
    QTest::newRow("status and zone sync: zone before status")
        << SyncAddress << int(StatusZoneSync) << Fields(0, {}, 0x03, 0x04)
        << Hex("F0 10 02 03 04 19");
    QTest::newRow("to 10 any code but 06 carries zone and status")
        << SyncAddress << int(ReadRegisterBlock) << Fields(0x40, {}, 0x03, 0x04)
        << Hex("F0 10 07 03 04 1E");
    QTest::newRow("write 8 cells to a board is not a sync")
        << 0x06 << int(WriteMemoryBlock) << Fields(0, {}, 0x03, 0x04)
        << Hex("F0 06 06 00 00 00 00 00 00 00 00 00 0C");
}

void TestBusFrame::composeRequest()
{
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(RequestFields, fields);
    QFETCH(QByteArray, wire);
    const std::optional<QByteArray> composed =
        ComposeRequest(address, command, fields, SundayEvening);
    QVERIFY(composed.has_value());
    QCOMPARE(composed->toHex(' '), wire.toHex(' '));
}

void TestBusFrame::outOfRangeByteNeverComposed()
{
    // A lower-case hex letter in a field gives values above 255; such a value
    // must never reach the wire, in any payload position.
    QVERIFY(!ComposeRequest(0x02, WriteMemoryCell, Fields(0x10, {0x1AB}), SundayEvening));
    QVERIFY(!ComposeRequest(0x02, ReadMemoryCell, Fields(-1), SundayEvening));
    QVERIFY(!ComposeRequest(SyncAddress, FullSync, Fields(0, {}, 256, 0), SundayEvening));
    QVERIFY(!ComposeRequest(0x100, PresencePoll, Fields(0), SundayEvening));
    // A bad value in a field the command does not send does not block it.
    QVERIFY(ComposeRequest(0x02, ReadMemoryCell, Fields(0x10, {0x1AB}), SundayEvening));
    QVERIFY(!FrameBuilder(RequestStart, 0x9C, WriteRegisterBlock).stuffed(0x1F0).finish());

    // Monday is weekday 0; single-digit times stay as they are in BCD.
    const QDateTime mondayMorning(QDate(2026, 12, 7), QTime(9, 5, 3));
    QCOMPARE(ComposeRequest(SyncAddress, FullSync, Fields(0, {}, 0x02, 0x01), mondayMorning),
             std::optional(Hex("F0 10 06 FF 00 09 05 03 01 02 00 00 29")));
}

void TestBusFrame::packedBcd()
{
    const QList<std::pair<int, int>> pairs{{0, 0},     {9, 9},     {10, 0x10}, {19, 0x19},
                                           {23, 0x23}, {59, 0x59}, {60, 60},   {99, 99}};
    for (auto [value, bcd] : pairs)
        QCOMPARE(ToPackedBcd(value), bcd);
}

void TestBusFrame::judgeReply_data()
{
    QTest::addColumn<QByteArray>("earlier"); // what an earlier reception left in the slots
    QTest::addColumn<QList<QByteArray>>("events");
    QTest::addColumn<int>("requestAddress");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QList<int>>("payload");

    const QList<QByteArray> none;
    QTest::newRow("stuffed cell reply accepted")
        << QByteArray() << QList{Hex("F8 05 04 20 F0 11 2A")} << 0x05 << int(Verdict::Ok)
        << QStringLiteral("Статус:  ОК") << QList<int>{0x20, 0xF0};
    QTest::newRow("a stuffing byte other than 11 is read the same way")
        << QByteArray() << QList{Hex("F8 05 04 20 F0 22 3B")} << 0x05 << int(Verdict::Ok)
        << QStringLiteral("Статус:  ОК") << QList<int>{0x20, 0xF0};
    QTest::newRow("eight cells") << QByteArray()
                                 << QList{Hex("F8 02 03 40 01 02 03 04 05 06 07 08 69")} << 0x02
                                 << int(Verdict::Ok) << QStringLiteral("Статус:  ОК")
                                 << QList<int>{0x40, 1, 2, 3, 4, 5, 6, 7, 8};
    QTest::newRow("acknowledgement without data")
        << QByteArray() << QList{Hex("F8 9C 01 9D")} << 0x9C << int(Verdict::Ok)
        << QStringLiteral("Статус:  ОК") << QList<int>{};
    QTest::newRow("nothing came, whatever slot 1 holds from before")
        << Hex("F8 05 01 06") << none << 0x05 << int(Verdict::NoReply)
        << QStringLiteral("Статус:  нет ответа") << QList<int>{};
    QTest::newRow("reply from 05 to a request to 06 is no reply")
        << QByteArray() << QList{Hex("F8 05 01 06")} << 0x06 << int(Verdict::NoReply)
        << QStringLiteral("Статус:  нет ответа") << QList<int>{};
    QTest::newRow("another address is checked before the reply code")
        << QByteArray() << QList{Hex("F8 05 06 00 0B")} << 0x06 << int(Verdict::NoReply)
        << QStringLiteral("Статус:  нет ответа") << QList<int>{};
    QTest::newRow("register reply")
        << QByteArray() << QList{Hex("F8 9C 07 00 0F 34 35 00 00 00 00 00 1B")} << 0x9C
        << int(Verdict::Ok) << QStringLiteral("Статус:  ОК")
        << QList<int>{0, 0x0F, 0x34, 0x35, 0, 0, 0, 0, 0};
    QTest::newRow("reply code 02 without data")
        << QByteArray() << QList{Hex("F8 9C 02 9E")} << 0x9C << int(Verdict::Ok)
        << QStringLiteral("Статус:  ОК") << QList<int>{};
    QTest::newRow("bytes that are not a reply")
        << QByteArray() << QList{Hex("F0 03 01 04")} << 0x05 << int(Verdict::ForeignTraffic)
        << QStringLiteral("Статус: запрос другой платке") << QList<int>{};
    QTest::newRow("reply code 06 is unknown")
        << QByteArray() << QList{Hex("F8 05 06 00 0B")} << 0x05 << int(Verdict::UnknownReplyCode)
        << QStringLiteral("Статус: неизвестная ответная команда") << QList<int>{};
    QTest::newRow("wrong checksum")
        << QByteArray() << QList{Hex("F8 02 03 40 01 02 03 04 05 06 07 08 6A")} << 0x02
        << int(Verdict::ChecksumMismatch) << QStringLiteral("Статус: контрольная сумма не совпала ")
        << QList<int>{};
    QTest::newRow("reply split 5 + 8 reads the stale slots 6 to 8")
        << Hex("0000000000 AAAAAA") << QList{Hex("F8 02 03 40 01"), Hex("02 03 04 05 06 07 08 69")}
        << 0x02 << int(Verdict::ChecksumMismatch)
        << QStringLiteral("Статус: контрольная сумма не совпала ") << QList<int>{};
}

void TestBusFrame::judgeReply()
{
    QFETCH(QByteArray, earlier);
    QFETCH(QList<QByteArray>, events);
    QFETCH(int, requestAddress);
    QFETCH(int, verdict);
    QFETCH(QString, status);
    QFETCH(QList<int>, payload);

    ReplyBuffer buffer;
    buffer.place(0, earlier);
    int offset = 0;
    for (const QByteArray &event : events)
        offset = buffer.place(offset, event);

    const ReplyJudgement judgement = JudgeReply(buffer, offset, requestAddress);
    QCOMPARE(int(judgement.verdict), verdict);
    QCOMPARE(VerdictText(judgement.verdict), status);
    QCOMPARE(judgement.payload, payload);
}

QTEST_APPLESS_MAIN(TestBusFrame)
#include "tst_busframe.moc"
