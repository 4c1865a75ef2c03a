// The decoder of the exchange log: bytes seen on the bus into requests,
// replies and runs of bytes that form no frame.
#include "busframe.h"

#include "testbytes.h"
#include <QTest>

class TestFrameDecoder : public QObject
{
    Q_OBJECT
private slots:
    void decode_data();
    void decode();
};

void TestFrameDecoder::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("pieces"); // the description of each piece, in order

    const auto row = [](const char *name, const char *bytes, const QStringList &pieces) {
        QTest::newRow(name) << Hex(bytes) << pieces;
    };
    row("presence poll", "F0 9C 01 9D", {u"запрос 9C 01 опрос наличия; сумма верна"_qs});
    row("read cell", "F0 05 04 10 19",
        {u"запрос 05 04 чтение 1 ячейки памяти: 10; сумма верна"_qs});
    row("write cell, F0 stuffed", "F0 05 02 10 F0 11 18",
        {u"запрос 05 02 запись 1 ячейки памяти: 10 F0; сумма верна"_qs});
    row("read 8 cells", "F0 05 03 20 28",
        {u"запрос 05 03 чтение 8 ячеек памяти: 20; сумма верна"_qs});
    row("write 8 cells", "F0 05 06 20 01 02 03 04 05 06 07 F0 11 48",
        {u"запрос 05 06 запись 8 ячеек памяти: 20 01 02 03 04 05 06 07 F0; сумма верна"_qs});
    row("read register", "F0 9C 07 05 A8", {u"запрос 9C 07 чтение регистра: 05; сумма верна"_qs});
    row("write register", "F0 9C 08 01 11 22 33 44 55 66 77 88 09",
        {u"запрос 9C 08 запись регистра: 01 11 22 33 44 55 66 77 88; сумма верна"_qs});
    row("auxiliary", "F0 9C 09 E0 01 86", {u"запрос 9C 09 дополнительная: E0 01; сумма верна"_qs});
    row("action", "F0 82 0A D0 05 61", {u"запрос 82 0A действие: D0 05; сумма верна"_qs});
    row("write register cell", "F0 82 0B 03 02 01 93",
        {u"запрос 82 0B запись 1 ячейки регистра: 03 02 01; сумма верна"_qs});
    row("full sync with its closing zeros", "F0 10 06 FF 06 21 07 45 00 01 00 00 89",
        {u"запрос 10 06 синхронизация полная: FF 06 21 07 45 00 01 00 00; сумма верна"_qs});
    row("status and zone sync", "F0 10 02 01 00 13",
        {u"запрос 10 02 синхронизация статуса и зоны: 01 00; сумма верна"_qs});
    row("reply done", "F8 9C 01 9D", {u"ответ 9C 01 выполнено; сумма верна"_qs});
    row("reply done, code 02", "F8 9C 02 9E", {u"ответ 9C 02 выполнено; сумма верна"_qs});
    row("reply cell", "F8 05 04 10 AB C4", {u"ответ 05 04 1 ячейка памяти: 10 AB; сумма верна"_qs});
    row("reply 8 cells", "F8 05 03 20 01 02 03 04 05 06 07 08 4C",
        {u"ответ 05 03 8 ячеек памяти: 20 01 02 03 04 05 06 07 08; сумма верна"_qs});
    row("reply register, F0 stuffed", "F8 9C 07 01 F0 11 02 03 04 05 06 07 08 C8",
        {u"ответ 9C 07 регистр: 01 F0 02 03 04 05 06 07 08; сумма верна"_qs});
    row("bad checksum", "F8 9C 01 9E", {u"ответ 9C 01 выполнено; сумма неверна"_qs});
    row("foreign request before the reply", "F0 05 01 06 F8 9C 01 9D",
        {u"запрос 05 01 опрос наличия; сумма верна"_qs, u"ответ 9C 01 выполнено; сумма верна"_qs});
    row("truncated reply", "F8 9C 07 01 02", {u"не кадр"_qs});
    row("noise, then a reply", "00 FF F8 9C 01 9D",
        {u"не кадр"_qs, u"ответ 9C 01 выполнено; сумма верна"_qs});
    row("unknown reply code", "F8 9C 55 F1", {u"не кадр"_qs});
    row("F0 in a payload without its stuffing byte", "F0 05 02 10 F0 00 05", {u"не кадр"_qs});
}

void TestFrameDecoder::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, pieces);
    QStringList found;
    QByteArray joined;
    for (const DecodedFrame &frame : DecodeTraffic(bytes)) {
        found.append(DescribeFrame(frame));
        joined += frame.wire;
    }
    QCOMPARE(found, pieces);
    QCOMPARE(joined, bytes); // every byte in exactly one piece
}

QTEST_APPLESS_MAIN(TestFrameDecoder)
#include "tst_framedecoder.moc"
