// Frame composition, reply judgement and the exchange log's decoder against
// the bus's golden bytes, and the hex text of the tools' byte fields. The
// common requests and replies are also met whole in the tools' own suites;
// here stand the edges: stuffing, checksums of F0, BCD, refused values.
#include "busframe.h"
#include "hextext.h"
#include "registerframe.h"
#include "replybuffer.h"
#include "stuffedbyte.h"

#include "testbytes.h"
#include <QTest>

using namespace Qt::StringLiterals;
using Value = std::optional<int>;
Q_DECLARE_METATYPE(RequestFields)
Q_DECLARE_METATYPE(Value)
Q_DECLARE_METATYPE(Verdict)
Q_DECLARE_METATYPE(RegisterVerdict)

class TestBusFrame : public QObject
{
    Q_OBJECT
private slots:
    void composeRequest_data();
    void composeRequest();
    void packedBcd();
    void readings_data();
    void readings();
    void decode_data();
    void decode();
    void hexText_data();
    void hexText();
    void byteTexts();
};

void TestBusFrame::composeRequest_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<RequestFields>("fields");
    QTest::addColumn<QByteArray>("wire"); // empty: never composed

    using F = RequestFields;
    const auto row = [](const char *name, int address, int command, F fields, const char *wire) {
        QTest::newRow(name) << address << command << fields << Hex(wire);
    };
    row("a poll sends no field", 0x9C, PresencePoll, F{0x55, {1, 2, 3, 4, 5, 6, 7, 8}, 9, 9},
        "F0 9C 01 9D");
    row("checksum F0 goes alone; an unsent field may hold anything", 0x05, ReadMemoryCell,
        F{0xE7, {0x1AB}}, "F0 05 04 E7 F0");
    row("eight cells to 06 in order, no sync", 0x06, WriteMemoryBlock,
        F{0x40, {1, 2, 3, 4, 5, 6, 7, 8}, 3, 4}, "F0 06 06 40 01 02 03 04 05 06 07 08 70");
    row("nine stuffed bytes, each stuffing byte counted", 0x00, WriteMemoryBlock,
        F{0xF0, {0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0}},
        "F0 00 06 F011 F011 F011 F011 F011 F011 F011 F011 F011 0F");
    row("auxiliary: command then data", 0x90, AuxiliaryCommand, F{0, {1, 2}}, "F0 90 09 01 02 9C");
    row("one register cell: address, number, data", 0x98, WriteRegisterCell, F{0x77, {1, 2, 3}},
        "F0 98 0B 01 02 03 A9");
    // Sunday 21:07:45 in BCD; the closing zeros are never stuffed.
    row("full sync: status F0 stuffed, then zone", SyncAddress, FullSync, F{0, {}, 0x02, 0xF0},
        "F0 10 06 FF 06 21 07 45 F0 11 02 00 00 8B");
    row("to 10 any other code: zone then status", SyncAddress, ReadRegisterBlock,
        F{0x40, {}, 0x03, 0x04}, "F0 10 07 03 04 1E");
    row("data above a byte", 0x02, WriteMemoryCell, F{0x10, {0x1AB}}, "");
    row("cell below zero", 0x02, ReadMemoryCell, F{-1}, "");
    row("address above a byte", 0x100, PresencePoll, F{0}, "");
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

// The readings of one reply side by side: busprobe's judgement, the reply to
// a read of register 0 as sysload judges it (number compared, the byte after
// a data F0 taken as it stands) and as the register engine does (summed as
// requested, that byte counted as 11 unread), and the exchange log's decoder
// (that byte must be 11). An earlier reception left F8 9C 01 9D in the slots.
void TestBusFrame::readings_data()
{
    QTest::addColumn<QByteArray>("reply"); // one receive event; empty: none came
    QTest::addColumn<Verdict>("probe");
    QTest::addColumn<RegisterVerdict>("loader");
    QTest::addColumn<RegisterVerdict>("engine");
    QTest::addColumn<QString>("decoder");    // per piece: good, bad or none
    QTest::addColumn<QByteArray>("payload"); // as each reading that accepts takes it

    using enum RegisterVerdict;
    const auto row = [](const char *name, const char *reply, Verdict probe, RegisterVerdict loader,
                        RegisterVerdict engine, const char *decoder, const char *payload = "") {
        QTest::newRow(name) << Hex(reply) << probe << loader << engine << QString::fromUtf8(decoder)
                            << Hex(payload);
    };
    const Verdict good = Verdict::Ok, sum = Verdict::ChecksumMismatch;
    row("register 0", "F8 9C 07 00 0F 34 35 00 00 00 00 00 1B", good, Ok, Ok, "good",
        "00 0F 34 35 00 00 00 00 00");
    row("every data byte F0, the checksum in slot 21",
        "F8 9C 07 00 F011 F011 F011 F011 F011 "
        "F011 F011 F011 AB",
        good, Ok, Ok, "good", "00 F0 F0 F0 F0 F0 F0 F0 F0");
    row("stuffing byte 22 summed as it stands", "F8 9C 07 00 F0 22 34 35 00 00 00 00 00 1E", good,
        Ok, ChecksumMismatch, "none", "00 F0 34 35 00 00 00 00 00");
    row("stuffing byte 22 summed as 11", "F8 9C 07 00 F0 22 34 35 00 00 00 00 00 0D", sum,
        ChecksumMismatch, Ok, "none", "00 F0 34 35 00 00 00 00 00");
    row("register 1 rightly summed", "F8 9C 07 01 0F 34 35 00 00 00 00 00 1C", good, NotThisReply,
        ChecksumMismatch, "good", "01 0F 34 35 00 00 00 00 00");
    row("register 1 summed as register 0", "F8 9C 07 01 0F 34 35 00 00 00 00 00 1B", sum,
        NotThisReply, Ok, "bad", "01 0F 34 35 00 00 00 00 00");
    row("checksum not come yet: slot 13 holds 00 from before",
        "F8 9C 07 00 5D 00 00 00 00 00 00 00", good, Ok, Ok, "none", "00 5D 00 00 00 00 00 00 00");
    row("a write's answer", "F8 9C 01 9D", good, NotThisReply, NotThisReply, "good");
    row("reply code 02", "F8 9C 02 9E", good, NotThisReply, NotThisReply, "good");
    row("another address, checked before the reply code", "F8 05 06 00 0B", Verdict::NoReply,
        NotThisReply, NotThisReply, "none");
    row("bytes that are not a reply", "F0 03 01 04", Verdict::ForeignTraffic, NotThisReply,
        NotThisReply, "good");
    row("nothing came, whatever slot 1 holds", "", Verdict::NoReply, NothingReceived,
        NothingReceived, "");
}

void TestBusFrame::readings()
{
    QFETCH(QByteArray, reply);
    QFETCH(Verdict, probe);
    QFETCH(RegisterVerdict, loader);
    QFETCH(RegisterVerdict, engine);
    QFETCH(QString, decoder);
    QFETCH(QByteArray, payload);

    ReplyBuffer buffer;
    buffer.place(0, Hex("F8 9C 01 9D"));
    const int offset = reply.isEmpty() ? 0 : buffer.place(0, reply);
    const ReplyJudgement judgement = JudgeReply(buffer, offset, 0x9C);
    QCOMPARE(int(judgement.verdict), int(probe));
    if (probe == Verdict::Ok)
        QCOMPARE(HexBytes(judgement.payload), HexBytes(payload));
    const std::array readers{
        std::tuple{RegisterNumberRule::Compared, &TakeReplyByte, loader},
        std::tuple{RegisterNumberRule::SummedAsRequested, &TakeRegisterByte, engine}};
    for (const auto &[rule, take, verdict] : readers) {
        const RegisterReplyJudgement r = JudgeRegisterReply(buffer, offset, 0x9C, 0, rule, take);
        QCOMPARE(int(r.verdict), int(verdict));
        if (verdict == RegisterVerdict::Ok)
            QCOMPARE(HexBytes(QList<int>(r.data.begin(), r.data.end())), HexBytes(payload.mid(1)));
    }
    QStringList pieces;
    for (const DecodedFrame &frame : DecodeTraffic(reply)) {
        pieces << (frame.kind == FrameKind::NotFrame ? u"none"_s
                   : frame.checksumOk                ? u"good"_s
                                                     : u"bad"_s);
        if (frame.kind == FrameKind::Reply)
            QCOMPARE(HexBytes(frame.payload), HexBytes(payload));
    }
    QCOMPARE(pieces.join(u' '), decoder);
}

// The decoder of the exchange log: bytes seen on the bus into requests,
// replies and runs of bytes that form no frame.
void TestBusFrame::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("pieces"); // the description of each piece, in order

    const auto row = [](const char *name, const char *bytes, const char *pieces) {
        QTest::newRow(name) << Hex(bytes) << QString::fromUtf8(pieces);
    };
    row("read cell", "F0 05 04 10 19", "запрос 05 04 чтение 1 ячейки памяти: 10; сумма верна");
    row("write cell, F0 stuffed", "F0 05 02 10 F0 11 18",
        "запрос 05 02 запись 1 ячейки памяти: 10 F0; сумма верна");
    row("read 8 cells", "F0 05 03 20 28", "запрос 05 03 чтение 8 ячеек памяти: 20; сумма верна");
    row("write 8 cells", "F0 05 06 20 01 02 03 04 05 06 07 F0 11 48",
        "запрос 05 06 запись 8 ячеек памяти: 20 01 02 03 04 05 06 07 F0; сумма верна");
    row("read register", "F0 9C 07 05 A8", "запрос 9C 07 чтение регистра: 05; сумма верна");
    row("write register", "F0 9C 08 01 11 22 33 44 55 66 77 88 09",
        "запрос 9C 08 запись регистра: 01 11 22 33 44 55 66 77 88; сумма верна");
    row("auxiliary", "F0 9C 09 E0 01 86", "запрос 9C 09 дополнительная: E0 01; сумма верна");
    row("action", "F0 82 0A D0 05 61", "запрос 82 0A действие: D0 05; сумма верна");
    row("write register cell", "F0 82 0B 03 02 01 93",
        "запрос 82 0B запись 1 ячейки регистра: 03 02 01; сумма верна");
    row("full sync with its closing zeros", "F0 10 06 FF 06 21 07 45 00 01 00 00 89",
        "запрос 10 06 синхронизация полная: FF 06 21 07 45 00 01 00 00; сумма верна");
    row("status and zone sync", "F0 10 02 01 00 13",
        "запрос 10 02 синхронизация статуса и зоны: 01 00; сумма верна");
    row("reply done, code 02", "F8 9C 02 9E", "ответ 9C 02 выполнено; сумма верна");
    row("reply cell", "F8 05 04 10 AB C4", "ответ 05 04 1 ячейка памяти: 10 AB; сумма верна");
    row("reply 8 cells", "F8 05 03 20 01 02 03 04 05 06 07 08 4C",
        "ответ 05 03 8 ячеек памяти: 20 01 02 03 04 05 06 07 08; сумма верна");
    row("reply register, F0 stuffed", "F8 9C 07 01 F0 11 02 03 04 05 06 07 08 C8",
        "ответ 9C 07 регистр: 01 F0 02 03 04 05 06 07 08; сумма верна");
    row("foreign request before the reply", "F0 05 01 06 F8 9C 01 9D",
        "запрос 05 01 опрос наличия; сумма верна | ответ 9C 01 выполнено; сумма верна");
    row("truncated reply", "F8 9C 07 01 02", "не кадр");
    row("noise, then a reply", "00 FF F8 9C 01 9D", "не кадр | ответ 9C 01 выполнено; сумма верна");
    row("unknown reply code", "F8 9C 55 F1", "не кадр");
}

void TestBusFrame::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, pieces);
    QStringList found;
    QByteArray joined;
    for (const DecodedFrame &frame : DecodeTraffic(bytes)) {
        found.append(DescribeFrame(frame));
        joined += frame.wire;
    }
    QCOMPARE(found.join(u" | "), pieces);
    QCOMPARE(joined, bytes); // every byte in exactly one piece
}

// Hex text of the byte fields, with the odd inputs an installer can type.
void TestBusFrame::hexText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Value>("value");   // as a field reads it
    QTest::addColumn<Value>("typed");   // as a typed byte
    QTest::addColumn<QString>("shown"); // the value shown again
    QTest::newRow("one digit") << u"5"_s << Value(5) << Value(5) << u"5"_s;
    QTest::newRow("a third character is ignored") << u"1E0"_s << Value(0x1E) << Value() << u"1E"_s;
    QTest::newRow("a capital G is worth 16") << u"0G"_s << Value(0x10) << Value() << u"10"_s;
    QTest::newRow("lower-case a is worth 42") << u"a"_s << Value(42) << Value() << u"2A"_s;
    QTest::newRow("a blank is worth -23; typed blanks are trimmed")
        << u" F9 "_s << Value(-23 * 16 + 15) << Value(0xF9) << u"FE9F"_s;
    QTest::newRow("blank between digits") << u"8 F"_s << Value(8 * 16 - 23) << Value() << u"69"_s;
    // Cyrillic Es, 0xD1 in Windows-1251, as in a mistyped "9С".
    QTest::newRow("Cyrillic letter") << u"9С"_s << Value(9 * 16 + 0xD1 - 55) << Value() << u"12A"_s;
    QTest::newRow("empty text has no value") << QString() << Value() << Value() << QString();
}

void TestBusFrame::hexText()
{
    QFETCH(QString, text);
    QFETCH(Value, value);
    QFETCH(Value, typed);
    QFETCH(QString, shown);
    QCOMPARE(HexValue(text), value);
    QCOMPARE(TypedHex(text), typed);
    QCOMPARE(value ? FormatHex(*value) : QString(), shown);
}

void TestBusFrame::byteTexts()
{
    // Every entry of a byte field's list reads back as its own value.
    const QStringList texts = ByteTexts();
    QCOMPARE(texts.size(), 256);
    for (int v = 0; v < 256; ++v)
        QCOMPARE(HexValue(texts.at(v)), Value(v));
}

QTEST_APPLESS_MAIN(TestBusFrame)
#include "tst_busframe.moc"
