// The register engine's runs, ticked by hand against a fake port, and at the
// edges of their ticks on the simulated network with the real timers.
#include "fakebusport.h"
#include "registertransfer.h"
#include "scenarioplay.h"
#include "seriallink.h"
#include "voxtexts.h"

#include "simharness.h"
#include "testbytes.h"
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>

Q_DECLARE_METATYPE(QList<bussim::Fault>)

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

// Indicator 80's five registers, or the announcer with its scenario test, on
// the simulated network with the production tick.
struct BusRig
{
    SimHarness sim;
    BusPort port;
    SerialLink link{&port};
    std::array<Row, 5> image{};
    std::function<void()> ownTick;
    RegisterTransfer engine;

    // The port's quiet time is 60 ms here, so that the edges of the ticks
    // are far wider than the delays of a loaded machine.
    explicit BusRig(int address)
        : engine(&link, {[address] { return address; },
                         5,
                         [this](int reg, int k) { return image[size_t(reg)][size_t(k)]; },
                         [this](int reg, const Row &bytes) { image[size_t(reg)] = bytes; },
                         {},
                         [this] {
                             ownTick();
                         }})
    {
        port.open(sim.device());
        port.setBurstGap(60ms);
    }
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
        // Good, in two receive events before the tick.
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

    // Each case is a reply at the edge of a tick: judged at the tick it would
    // fail, or spoil the next register's judgement.
    void tickEdges_data()
    {
        using bussim::Fault;
        QTest::addColumn<QString>("run");
        QTest::addColumn<QList<Fault>>("faults");
        QTest::addColumn<QString>("end");
        // 8 bytes 200 ms after the request, the other 5 90 ms later: the read
        // tick comes in the middle of the reply and waits for its end.
        QTest::newRow("read: a reply still arriving at the tick")
            << u"read"_s << QList{Fault{Fault::Kind::Delay, 200}, Fault{Fault::Kind::Split, 8, 90}}
            << u"Статус:"_s + QString(32, u' ');
        // The acknowledgement's receive event would come after the tick.
        QTest::newRow("write: an answer ending just before the tick")
            << u"write"_s << QList{Fault{Fault::Kind::Delay, 215}}
            << u"Статус:"_s + QString(27, u' ');
        // The answer to a poll is in the port, inside its quiet time, when the
        // test starts; dropped, it raises no empty receive event that would
        // move the play request's late answer to slot 9.
        QTest::newRow("scenario test: stale bytes dropped at the start")
            << u"play"_s << QList{Fault{Fault::Kind::Delay, 80}} << VoxText::TestDone();
    }

    void tickEdges()
    {
        QFETCH(QString, run);
        QFETCH(QList<bussim::Fault>, faults);
        QFETCH(QString, end);
        const int address = run == u"play"_s ? 0x9C : 0x80;
        BusRig rig(address);
        QVERIFY2(rig.sim.ok() && rig.port.isOpen(), qPrintable(rig.port.errorText()));
        ScenarioPlay test(&rig.link, &rig.engine, 300ms);
        rig.ownTick = [&test] {
            test.step();
        };
        QStringList seen;
        const auto see = [&seen](const QString &text) {
            seen.append(text);
        };
        connect(&rig.engine, &RegisterTransfer::statusChanged, this, see);
        connect(&test, &ScenarioPlay::statusChanged, this, see);
        auto &registers = rig.sim.network().registers(address);
        for (int reg = 0; reg < 5; ++reg) {
            registers[reg] = {quint8(reg), 0xF0, 2, 3, 4, 5, 6, quint8(reg + 7)};
            std::copy(registers[reg].begin(), registers[reg].end(), rig.image[size_t(reg)].begin());
        }
        const auto spoil = [&rig, &faults, address] {
            for (const bussim::Fault &fault : faults)
                rig.sim.network().addFault(address, fault);
        };
        if (run == u"play"_s) {
            bool staleComing = false;
            connect(
                &rig.sim.server(), &bussim::PtyServer::requestReceived, this,
                [&] {
                    QTimer::singleShot(10ms, this, [&] {
                        staleComing = rig.port.burstInProgress();
                        spoil();
                        test.start(u"E0"_s);
                    });
                },
                Qt::SingleShotConnection);
            QVERIFY(rig.link.SendRaw(Hex("F0 9C 01 9D")));
            QTRY_VERIFY(rig.engine.isActive());
            QVERIFY(staleComing);
            QTRY_VERIFY_WITH_TIMEOUT(!rig.engine.isActive(), 5000);
        }
        if (run != u"play"_s)
            spoil();
        if (run == u"read"_s) {
            const auto written = rig.image;
            rig.image = {};
            QVERIFY(rig.engine.startReadRun());
            QTRY_VERIFY_WITH_TIMEOUT(!rig.engine.isActive(), 5000);
            QCOMPARE(rig.image, written);
        } else if (run == u"write"_s) {
            const auto written = registers;
            registers = QList<bussim::Register>(9, bussim::Register{});
            QVERIFY(rig.engine.startWriteRun());
            QTRY_VERIFY_WITH_TIMEOUT(!rig.engine.isActive(), 5000);
            QCOMPARE(registers, written);
        }
        QCOMPARE(seen.filter(u"error"_s) + seen.filter(u"нет ответа"_s), QStringList());
        QCOMPARE(seen.last(), end);
    }

    // Line noise that never stops puts each step of the read run off only
    // to the limit: every register is judged on what came, each a limit
    // after the one before (100 ms more allowed for a loaded machine), and
    // the run ends.
    void readUnderNoise_data()
    {
        QTest::addColumn<bool>("neverQuiet");
        QTest::newRow("a receive event every 2 ms") << false;
        QTest::newRow("a burst that never falls quiet") << true;
    }

    void readUnderNoise()
    {
        QFETCH(bool, neverQuiet);
        Rig rig(10ms);
        QTimer noise;
        connect(&noise, &QTimer::timeout, this,
                [&] { neverQuiet ? rig.port.deliver(Hex("55")) : rig.port.arrive(Hex("55")); });
        noise.start(2ms);
        QStringList seen;
        qint64 longest = 0; // ms between two judgements
        QElapsedTimer elapsed;
        QEventLoop loop;
        connect(&rig.engine, &RegisterTransfer::statusChanged, this, [&](const QString &text) {
            longest = std::max(longest, seen.isEmpty() ? 0 : elapsed.elapsed());
            elapsed.start();
            seen.append(text);
            if (!text.contains(u"error"_s))
                loop.quit();
        });
        QTimer::singleShot(10s, &loop, &QEventLoop::quit);
        QVERIFY(rig.engine.startReadRun());
        loop.exec();
        QCOMPARE(seen.filter(u"Статус:  error--"_s).size(), 24);
        QCOMPARE(seen.last(), u"Статус:"_s + QString(32, u' '));
        const auto limit = rig.engine.tick() * (1 + RegisterTransfer::PutOffLimitTicks);
        QVERIFY2(longest <= (limit + 100ms).count(), qPrintable(QString::number(longest)));
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
