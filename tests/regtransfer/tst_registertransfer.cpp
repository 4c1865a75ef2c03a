// The write and read runs of the register engine, ticked by hand against a fake port.
#include "busframe.h"
#include "fakebusport.h"
#include "registertransfer.h"
#include "seriallink.h"

#include "testbytes.h"
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using Row = std::array<int, 8>;
using Image = std::array<Row, 24>;

namespace {

// The announcer's block: 24 registers at address 9C, ticked by hand (the
// timers are given an hour so that they never fire by themselves).
struct Rig
{
    FakeBusPort port;
    SerialLink link{&port};
    Image image{};
    int refreshes = 0;
    std::unique_ptr<RegisterTransfer> engine;

    explicit Rig(std::chrono::milliseconds tick = 1h)
    {
        RegisterTransferSetup setup;
        setup.address = [] {
            return 0x9C;
        };
        setup.registerCount = 24;
        setup.cell = [this](int reg, int k) {
            return image[size_t(reg)][size_t(k)];
        };
        setup.storeRegister = [this](int reg, const std::array<int, 8> &bytes) {
            image[size_t(reg)] = bytes;
        };
        setup.readRunEnded = [this] {
            ++refreshes;
        };
        setup.tick = tick;
        engine = std::make_unique<RegisterTransfer>(&link, &port, setup);
    }
    // The frames written since the last call.
    QByteArray takeWritten() { return std::exchange(port.written, {}); }
};

} // namespace

class TestRegisterTransfer : public QObject
{
    Q_OBJECT
private slots:
    void writeFrames_data();
    void writeFrames();
    void writeRunSendsEveryRegisterThenEnds();
    void readRequests();
    void replyJudgedAtFirstTick_data();
    void replyJudgedAtFirstTick();
    void runWithNoController();
    void runsNeverInterleave();
    void refusals();
    void receptionAndTimerRestart();
};

void TestRegisterTransfer::writeFrames_data()
{
    QTest::addColumn<Row>("cells");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("plain") << Row{0x0F, 0x34, 0x35}
                           << Hex("F0 9C 08 00 0F 34 35 00 00 00 00 00 1C");
    QTest::newRow("F0 stuffed and counted")
        << Row{0xF0} << Hex("F0 9C 08 00 F0 11 00 00 00 00 00 00 00 A5");
}

void TestRegisterTransfer::writeFrames()
{
    QFETCH(Row, cells);
    QFETCH(QByteArray, frame);
    Rig rig;
    rig.image[0] = cells;
    QVERIFY(rig.engine->startWriteRun());
    QVERIFY(rig.takeWritten().isEmpty()); // nothing goes before the first tick
    rig.engine->Timer1_Timer();
    QCOMPARE(rig.takeWritten(), frame);
    QCOMPARE(rig.engine->status(), QStringLiteral("Статус: out--1"));
}

void TestRegisterTransfer::writeRunSendsEveryRegisterThenEnds()
{
    Rig rig;
    rig.image[23] = {1, 2, 3, 4, 5, 6, 7, 8};
    QVERIFY(rig.engine->startWriteRun());
    for (int tick = 1; tick <= 24; ++tick)
        rig.engine->Timer1_Timer();
    const QByteArray wire = rig.takeWritten();
    QCOMPARE(wire.size(), 24 * 13);
    QCOMPARE(wire.right(13), Hex("F0 9C 08 17 01 02 03 04 05 06 07 08 DF"));
    QCOMPARE(rig.engine->status(), QStringLiteral("Статус: out--24"));
    QCOMPARE(rig.engine->runMode(), int(RegisterTransfer::WriteRun));

    rig.engine->Timer1_Timer();
    QVERIFY(rig.takeWritten().isEmpty());
    QCOMPARE(rig.engine->status(), QStringLiteral("Статус:") + QString(27, u' '));
    QCOMPARE(rig.engine->runMode(), int(RegisterTransfer::NoRun));
    QVERIFY(!rig.engine->Timer1().isActive());
}

void TestRegisterTransfer::readRequests()
{
    Rig rig;
    QVERIFY(rig.engine->startReadRun());
    QList<QByteArray> requests;
    for (int tick = 0; tick < 24; ++tick) {
        rig.engine->Timer2_Timer();
        requests.append(rig.takeWritten());
    }
    QCOMPARE(requests.at(0), Hex("F0 9C 07 00 A3"));
    QCOMPARE(requests.at(5), Hex("F0 9C 07 05 A8"));
    QCOMPARE(requests.at(23), Hex("F0 9C 07 17 BA"));
    rig.engine->Timer2_Timer(); // judges register 23, requests nothing
    QVERIFY(rig.takeWritten().isEmpty());
}

void TestRegisterTransfer::replyJudgedAtFirstTick_data()
{
    QTest::addColumn<QList<QByteArray>>("events");
    QTest::addColumn<QString>("status");
    QTest::addColumn<Row>("row1");

    const Row before{9, 9, 9, 9, 9, 9, 9, 9};
    const Row read{0x0F, 0x34, 0x35};
    const QByteArray good = Hex("F8 9C 07 00 0F 34 35 00 00 00 00 00 1B");
    const QString in1 = QStringLiteral("Статус:  in--1") + QString(12, u' ');
    QTest::newRow("good, one event") << QList{good} << in1 << read;
    QTest::newRow("good, 8 + 5") << QList{good.left(8), good.mid(8)} << in1 << read;
    QTest::newRow("bad checksum") << QList{Hex("F8 9C 07 00 0F 34 35 00 00 00 00 00 1C")}
                                  << QStringLiteral("Статус:   error") << before;
    QTest::newRow("reply for register 1") << QList{Hex("F8 9C 07 01 0F 34 35 00 00 00 00 00 1C")}
                                          << QStringLiteral("Статус:   error") << before;
    // The byte after a data F0 counts as 11 whatever it holds.
    QTest::newRow("F0 with a foreign stuffing byte")
        << QList{Hex("F8 9C 07 00 F0 77 00 00 00 00 00 00 00 A4")} << in1 << Row{0xF0};
    QTest::newRow("a write answer")
        << QList{Hex("F8 9C 01 9D")} << QStringLiteral("Статус:  error--1") << before;
    QTest::newRow("another address") << QList{Hex("F8 9D 07 00 0F 34 35 00 00 00 00 00 1C")}
                                     << QStringLiteral("Статус:  error--1") << before;
}

void TestRegisterTransfer::replyJudgedAtFirstTick()
{
    QFETCH(QList<QByteArray>, events);
    QFETCH(QString, status);
    QFETCH(Row, row1);
    Rig rig;
    rig.image[0] = {9, 9, 9, 9, 9, 9, 9, 9};
    QVERIFY(rig.engine->startReadRun());
    rig.engine->Timer2_Timer(); // c = 0: request register 0
    for (const QByteArray &bytes : events)
        rig.port.arrive(bytes);
    rig.engine->Timer2_Timer(); // c = 1: judge it
    QCOMPARE(rig.engine->status(), status);
    QCOMPARE(rig.image[0], row1);
    QCOMPARE(rig.link.receiveOffset(), 0);
}

void TestRegisterTransfer::runWithNoController()
{
    Rig rig;
    rig.image[4] = {1, 2, 3};
    const Image before = rig.image;
    QVERIFY(rig.engine->startReadRun());
    for (int tick = 1; tick <= 25; ++tick) {
        rig.engine->Timer2_Timer();
        QVERIFY(rig.engine->status().isEmpty());
    }
    QCOMPARE(rig.refreshes, 0);
    rig.engine->Timer2_Timer();
    QCOMPARE(rig.engine->status(), QStringLiteral("Статус:") + QString(32, u' '));
    QCOMPARE(rig.refreshes, 1);
    QCOMPARE(rig.image, before);
    QCOMPARE(rig.engine->runMode(), int(RegisterTransfer::NoRun));
    QVERIFY(!rig.engine->Timer2().isActive());
}

void TestRegisterTransfer::runsNeverInterleave()
{
    Rig rig;
    QVERIFY(rig.engine->beginOwnRun(30, 1500ms));
    QVERIFY(!rig.engine->startWriteRun());
    QVERIFY(!rig.engine->startReadRun());
    QCOMPARE(rig.engine->runMode(), 30);
    rig.engine->endOwnRun();
    QCOMPARE(rig.engine->Timer1().interval(), 3600000); // back to the tick

    QVERIFY(rig.engine->startReadRun());
    QVERIFY(!rig.engine->startWriteRun());
    QVERIFY(!rig.engine->beginOwnRun(30, 1500ms));
    QCOMPARE(rig.engine->runMode(), int(RegisterTransfer::ReadRun));
}

void TestRegisterTransfer::refusals()
{
    Rig rig;
    rig.image[5][3] = 300;
    QVERIFY(!rig.engine->startWriteRun());
    QCOMPARE(rig.engine->status(), QStringLiteral("Статус: регистр 5, ячейка 3 содержит 300, а "
                                                  "не байт 0..255; запись не начата"));
    rig.image[5][3] = 0;

    rig.port.open = false;
    QVERIFY(!rig.engine->startWriteRun());
    QVERIFY(rig.engine->status().contains(u"не начата: Порт fake не открыт"));
    QVERIFY(!rig.engine->startReadRun());
    QVERIFY(rig.engine->status().contains(u"не начато: Порт fake не открыт"));
    QCOMPARE(rig.engine->runMode(), int(RegisterTransfer::NoRun));

    // A port that fails during a run ends it; registers read so far are shown.
    rig.port.open = true;
    QVERIFY(rig.engine->startReadRun());
    rig.engine->Timer2_Timer();
    rig.port.open = false;
    rig.engine->Timer2_Timer();
    QCOMPARE(rig.engine->runMode(), int(RegisterTransfer::NoRun));
    QVERIFY(rig.engine->status().startsWith(u"Статус: обмен прерван"));
    QCOMPARE(rig.refreshes, 1);
}

void TestRegisterTransfer::receptionAndTimerRestart()
{
    Rig rig(40ms);
    // Outside a read run nothing is taken from the port.
    rig.port.arrive(Hex("F8 9C 01 9D"));
    QCOMPARE(rig.port.takeCount, 0);

    // Stale answers are dropped at the start; the first request then goes
    // out a tick later.
    QVERIFY(rig.engine->startReadRun());
    QVERIFY(rig.port.waiting.isEmpty());
    QTRY_COMPARE(rig.engine->readCounter(), 1);

    // Every receive event restarts Timer2 for a whole tick.
    rig.port.arrive(Hex("F8 9C 07 00"));
    QVERIFY(rig.engine->Timer2().isActive());
    QVERIFY(rig.engine->Timer2().remainingTime() > 30);
    QTRY_COMPARE(rig.engine->runMode(), int(RegisterTransfer::NoRun));
}

QTEST_GUILESS_MAIN(TestRegisterTransfer)
#include "tst_registertransfer.moc"
