// The register engine's runs, ticked by hand against a fake port.
#include "fakebusport.h"
#include "registertransfer.h"
#include "seriallink.h"

#include "testbytes.h"
#include <QTest>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Row = std::array<int, 8>;

namespace {

// The announcer's block of 24 registers at 9C. With the default tick of an
// hour the timers never fire by themselves: the test ticks.
struct Rig
{
    FakeBusPort port;
    SerialLink link{&port};
    int address = 0x9C; // what the tool has selected
    std::array<Row, 24> image{};
    int refreshes = 0;
    RegisterTransfer engine;

    explicit Rig(std::chrono::milliseconds tick = 1h) : engine(&link, &port, setup(tick)) {}
    RegisterTransferSetup setup(std::chrono::milliseconds tick)
    {
        return {[this] { return address; },
                24,
                [this](int reg, int k) { return image[size_t(reg)][size_t(k)]; },
                [this](int reg, const Row &bytes) { image[size_t(reg)] = bytes; },
                [this] { ++refreshes; },
                {},
                tick};
    }
    QByteArray takeWritten() { return std::exchange(port.written, {}); }
};

} // namespace

class TestRegisterTransfer : public QObject
{
    Q_OBJECT
private slots:
    void writeRun_data();
    void writeRun();
    void readRequestsAndNoController();
    void replyJudged_data();
    void replyJudged();
    void guardsAndRefusals();
    void receiveEventRestartsReadTimer();
};

void TestRegisterTransfer::writeRun_data()
{
    QTest::addColumn<Row>("register0");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("plain") << Row{0x0F, 0x34, 0x35}
                           << Hex("F0 9C 08 00 0F 34 35 00 00 00 00 00 1C");
    QTest::newRow("F0 stuffed and counted")
        << Row{0xF0} << Hex("F0 9C 08 00 F0 11 00 00 00 00 00 00 00 A5");
}

void TestRegisterTransfer::writeRun()
{
    QFETCH(Row, register0);
    QFETCH(QByteArray, frame);
    Rig rig;
    rig.image[0] = register0;
    rig.image[23] = {1, 2, 3, 4, 5, 6, 7, 8};
    QVERIFY(rig.engine.startWriteRun());
    QVERIFY(rig.takeWritten().isEmpty()); // nothing before the first tick
    rig.engine.Timer1_Timer();
    QCOMPARE(rig.takeWritten(), frame);
    QCOMPARE(rig.engine.status(), u"Статус: out--1"_s);
    rig.address = 0x80; // another controller selected: the run keeps its own
    for (int tick = 2; tick <= 24; ++tick)
        rig.engine.Timer1_Timer();
    const QByteArray wire = rig.takeWritten();
    QCOMPARE(wire.count(Hex("F0 9C 08")), 23);
    QVERIFY(wire.endsWith(Hex("F0 9C 08 17 01 02 03 04 05 06 07 08 DF")));
    QCOMPARE(rig.engine.status(), u"Статус: out--24"_s);

    rig.engine.Timer1_Timer();
    QVERIFY(rig.takeWritten().isEmpty());
    QCOMPARE(rig.engine.status(), u"Статус:"_s + QString(27, u' '));
    QCOMPARE(rig.engine.runMode(), 0);
    QVERIFY(!rig.engine.Timer1().isActive());
}

void TestRegisterTransfer::readRequestsAndNoController()
{
    Rig rig;
    rig.image[4] = {1, 2, 3};
    const auto before = rig.image;
    QVERIFY(rig.engine.startReadRun());
    QList<QByteArray> requests;
    for (int tick = 1; tick <= 25; ++tick) {
        rig.engine.Timer2_Timer();
        requests.append(rig.takeWritten());
        QVERIFY(rig.engine.status().isEmpty()); // silence changes nothing
    }
    QCOMPARE(requests.at(0), Hex("F0 9C 07 00 A3"));
    QCOMPARE(requests.at(5), Hex("F0 9C 07 05 A8"));
    QCOMPARE(requests.at(23), Hex("F0 9C 07 17 BA"));
    QVERIFY(requests.at(24).isEmpty());
    QCOMPARE(rig.refreshes, 0);

    rig.engine.Timer2_Timer();
    QCOMPARE(rig.engine.status(), u"Статус:"_s + QString(32, u' '));
    QCOMPARE(rig.refreshes, 1);
    QCOMPARE(rig.image, before);
    QCOMPARE(rig.engine.runMode(), 0);
    QVERIFY(!rig.engine.Timer2().isActive());
}

void TestRegisterTransfer::replyJudged_data()
{
    QTest::addColumn<QList<QByteArray>>("events");
    QTest::addColumn<QString>("status");
    QTest::addColumn<Row>("row1");

    const Row before{9, 9, 9, 9, 9, 9, 9, 9};
    const QByteArray good = Hex("F8 9C 07 00 0F 34 35 00 00 00 00 00 1B");
    const QString in1 = u"Статус:  in--1"_s + QString(12, u' ');
    QTest::newRow("good") << QList{good} << in1 << Row{0x0F, 0x34, 0x35};
    QTest::newRow("good, 8 + 5") << QList{good.left(8), good.mid(8)} << in1
                                 << Row{0x0F, 0x34, 0x35};
    QTest::newRow("bad checksum") << QList{Hex("F8 9C 07 00 0F 34 35 00 00 00 00 00 1C")}
                                  << u"Статус:   error"_s << before;
    QTest::newRow("another register")
        << QList{Hex("F8 9C 07 01 0F 34 35 00 00 00 00 00 1C")} << u"Статус:   error"_s << before;
    // The byte after a data F0 counts as 11 whatever it holds.
    QTest::newRow("F0, foreign stuffing byte")
        << QList{Hex("F8 9C 07 00 F0 77 00 00 00 00 00 00 00 A4")} << in1 << Row{0xF0};
    QTest::newRow("a write answer")
        << QList{Hex("F8 9C 01 9D")} << u"Статус:  error--1"_s << before;
}

void TestRegisterTransfer::replyJudged()
{
    QFETCH(QList<QByteArray>, events);
    QFETCH(QString, status);
    QFETCH(Row, row1);
    Rig rig;
    rig.image[0] = {9, 9, 9, 9, 9, 9, 9, 9};
    QVERIFY(rig.engine.startReadRun());
    rig.address = 0x80;        // the run keeps the controller it started with
    rig.engine.Timer2_Timer(); // c = 0: requests register 0
    QCOMPARE(rig.takeWritten(), Hex("F0 9C 07 00 A3"));
    for (const QByteArray &bytes : events)
        rig.port.arrive(bytes);
    rig.engine.Timer2_Timer(); // c = 1: judges the reply
    QCOMPARE(rig.engine.status(), status);
    QCOMPARE(rig.image[0], row1);
}

void TestRegisterTransfer::guardsAndRefusals()
{
    Rig rig;
    QVERIFY(rig.engine.beginOwnRun(30, 1500ms));
    QVERIFY(!rig.engine.startWriteRun());
    QVERIFY(!rig.engine.startReadRun());
    rig.engine.endOwnRun();
    QCOMPARE(rig.engine.Timer1().interval(), 3600000); // the write tick again

    rig.image[5][3] = 300;
    QVERIFY(!rig.engine.startWriteRun());
    QCOMPARE(rig.engine.status(),
             u"Статус: регистр 5, ячейка 3 содержит 300, а не байт 0..255; запись не начата"_s);

    rig.port.open = false;
    QVERIFY(!rig.engine.startReadRun());
    QCOMPARE(rig.engine.status(),
             u"Статус: чтение из контроллера не начато: Порт fake не открыт"_s);

    // A port that fails during a run ends it; what was read so far is shown.
    rig.port.open = true;
    QVERIFY(rig.engine.startReadRun());
    QVERIFY(!rig.engine.startWriteRun());
    rig.engine.Timer2_Timer();
    rig.port.open = false;
    rig.engine.Timer2_Timer();
    QCOMPARE(rig.engine.runMode(), 0);
    QVERIFY(rig.engine.status().startsWith(u"Статус: обмен прерван"_s));
    QCOMPARE(rig.refreshes, 1);
}

void TestRegisterTransfer::receiveEventRestartsReadTimer()
{
    Rig rig(40ms);
    rig.port.arrive(Hex("F8 9C 01 9D")); // outside a read run: left in the port
    QCOMPARE(rig.port.takeCount, 0);
    QVERIFY(rig.engine.startReadRun());
    QVERIFY(rig.port.waiting.isEmpty()); // and dropped when the run starts
    QTRY_COMPARE(rig.engine.readCounter(), 1);
    rig.port.arrive(Hex("F8 9C 07 00"));
    QVERIFY(rig.engine.Timer2().remainingTime() > 30);
    QTRY_COMPARE(rig.engine.runMode(), 0);
}

QTEST_GUILESS_MAIN(TestRegisterTransfer)
#include "tst_registertransfer.moc"
