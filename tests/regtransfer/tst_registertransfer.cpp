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

// The announcer's 24 registers at 9C; with a tick of an hour only the test ticks.
struct Rig
{
    FakeBusPort port;
    SerialLink link{&port};
    int address = 0x9C; // what the tool has selected
    std::array<Row, 24> image{};
    RegisterTransfer engine;

    explicit Rig(std::chrono::milliseconds tick = 1h)
        : engine(&link, {[this] { return address; },
                         24,
                         [this](int reg, int k) { return image[size_t(reg)][size_t(k)]; },
                         [this](int reg, const Row &bytes) { image[size_t(reg)] = bytes; },
                         {},
                         {},
                         tick})
    {}
    QByteArray takeWritten() { return std::exchange(port.written, {}); }
};

} // namespace

class TestRegisterTransfer : public QObject
{
    Q_OBJECT
private slots:
    void writeRun_data()
    {
        QTest::addColumn<QByteArray>("answer"); // to registers 0 .. answered - 1
        QTest::addColumn<int>("answered");
        QTest::addColumn<QString>("end");
        const QString none = u"Статус: не подтверждено 24 из 24, контроллер 9C не отвечает"_s;
        const QString part =
            u"Статус: не подтверждено 3 из 24, первый — регистр 21 контроллера 9C"_s;
        QTest::newRow("acknowledged") << "F8 9C 01 9D"_ba << 24 << u"Статус:"_s + QString(27, u' ');
        QTest::newRow("silent") << QByteArray() << 0 << none;
        QTest::newRow("silent from register 21") << "F8 9C 01 9D"_ba << 21 << part;
        QTest::newRow("another address") << "F8 80 01 81"_ba << 24 << none;
        QTest::newRow("another reply code") << "F8 9C 02 9E"_ba << 24 << none;
    }

    void writeRun()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, answered);
        QFETCH(QString, end);
        Rig rig;
        rig.image[0] = {0x0F, 0xF0, 0x35};
        rig.image[23] = {1, 2, 3, 4, 5, 6, 7, 8};
        rig.port.waiting = Hex("F8 9C 07"); // from before the run: no answer of it
        QVERIFY(rig.engine.startWriteRun());
        rig.engine.Timer1_Timer();
        QCOMPARE(rig.takeWritten(),
                 Hex("F0 9C 08 00 0F F0 11 35 00 00 00 00 00 E9")); // F0 stuffed, counted
        rig.address = 0x80; // another controller selected: the run keeps its own
        for (int tick = 2; tick <= 25; ++tick) {
            QCOMPARE(rig.engine.status(), u"Статус: out--%1"_s.arg(tick - 1));
            if (tick <= answered + 1) // the answer to the frame of the tick before
                rig.port.arrive(Hex(answer));
            rig.engine.Timer1_Timer();
        }
        const QByteArray wire = rig.takeWritten();
        QCOMPARE(wire.count(Hex("F0 9C 08")), 23);
        QVERIFY(wire.endsWith(Hex("F0 9C 08 17 01 02 03 04 05 06 07 08 DF")));
        QVERIFY(rig.port.waiting.isEmpty()); // nothing left for the next read run
        QCOMPARE(rig.engine.status(), end);
        QVERIFY(!rig.engine.isActive() && !rig.engine.Timer1().isActive());

        QVERIFY(rig.engine.startWriteRun());
        rig.port.open = false; // the port fails during a run: the run ends, saying why
        rig.engine.Timer1_Timer();
        QCOMPARE(rig.engine.status(), u"Статус: обмен прерван: Порт fake не открыт"_s);
        QVERIFY(!rig.engine.isActive() && !rig.engine.Timer1().isActive());
    }

    void readRun_data()
    {
        QTest::addColumn<QByteArray>("reply"); // hex, '|' between receive events
        QTest::addColumn<QString>("status");   // from the judgement at c = 1 on
        QTest::addColumn<Row>("register0");
        const Row old{9, 9, 9, 9, 9, 9, 9, 9}, read{0x0F, 0x34, 0x35};
        const QString in1 = u"Статус:  in--1"_s + QString(12, u' '), error = u"Статус:   error"_s;
        QTest::newRow("no controller") << QByteArray() << QString() << old;
        QTest::newRow("good") << "F8 9C 07 00 0F 34 35 00 00 00 00 00 1B"_ba << in1 << read;
        QTest::newRow("good, 8 + 5") << "F8 9C 07 00 0F 34 35 00|00 00 00 00 1B"_ba << in1 << read;
        QTest::newRow("bad checksum")
            << "F8 9C 07 00 0F 34 35 00 00 00 00 00 1C"_ba << error << old;
        // How the engine reads a stuffing byte and the register number beside
        // the other readings: TestBusFrame::readings.
        QTest::newRow("a write answer") << "F8 9C 01 9D"_ba << u"Статус:  error--1"_s << old;
    }

    void readRun()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, status);
        QFETCH(Row, register0);
        Rig rig;
        rig.image.fill({9, 9, 9, 9, 9, 9, 9, 9});
        auto expected = rig.image;
        expected[0] = register0;
        rig.port.arrive(Hex("F8 9C 01 9D")); // a stale answer, dropped when the run starts
        QVERIFY(rig.engine.startReadRun());
        rig.address = 0x80; // the run keeps the controller it started with
        QVERIFY(!rig.engine.startWriteRun());
        QByteArrayList requests;
        for (int c = 0; c <= 24; ++c) {
            rig.engine.Timer2_Timer();
            requests.append(rig.takeWritten());
            QCOMPARE(rig.engine.status(), c == 0 ? QString() : status);
            if (c == 0 && !reply.isEmpty())
                for (const QByteArray &bytes : reply.split('|'))
                    rig.port.arrive(QByteArray::fromHex(bytes));
        }
        QCOMPARE((QByteArrayList{requests[0], requests[5], requests[23], requests[24]}),
                 (QByteArrayList{
                     Hex("F0 9C 07 00 A3"), Hex("F0 9C 07 05 A8"), Hex("F0 9C 07 17 BA"), {}}));
        rig.engine.Timer2_Timer();
        QCOMPARE(rig.engine.status(), u"Статус:"_s + QString(32, u' '));
        QCOMPARE(rig.image, expected);
        QVERIFY(!rig.engine.isActive() && !rig.engine.Timer2().isActive());

        QVERIFY(rig.engine.startReadRun());
        rig.port.open = false; // unannounced: the request is not sent, the run ends
        rig.engine.Timer2_Timer();
        QCOMPARE(rig.engine.status(), u"Статус: обмен прерван: Порт fake не открыт"_s);
        QVERIFY(!rig.engine.isActive() && !rig.engine.Timer2().isActive());
    }

    void receiveEventRestartsReadTimer()
    {
        Rig rig(40ms);
        QVERIFY(rig.engine.startReadRun());
        // The run has ticked (on a loaded machine it may have ticked again
        // before the check looks); a receive event arms the timer anew.
        QTRY_VERIFY(rig.engine.readCounter() >= 1);
        rig.port.arrive(Hex("F8 9C 07 00"));
        QVERIFY(rig.engine.Timer2().remainingTime() > 30);
    }
};

QTEST_GUILESS_MAIN(TestRegisterTransfer)
#include "tst_registertransfer.moc"
