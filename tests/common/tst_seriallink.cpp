// The receive handler's placement rule, the gate, the senders and the wait.
#include "busframe.h"
#include "fakebusport.h"
#include "seriallink.h"
#include "waitclock.h"

#include "testbytes.h"
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {
QByteArray Slots(const SerialLink &link, int from, int to)
{
    QByteArray bytes;
    for (int n = from; n <= to; ++n)
        bytes.append(static_cast<char>(link.replyBuffer().slot(n)));
    return bytes;
}
} // namespace

class TestSerialLink : public QObject
{
    Q_OBJECT
private slots:
    void placement_data();
    void placement();
    void closedGateLeavesBytesInPort();
    void engineGateAndHook();
    void senders();
    void waitProcessesEventsAndIsGuarded();
};

void TestSerialLink::placement_data()
{
    QTest::addColumn<QList<QByteArray>>("events");
    QTest::addColumn<QByteArray>("slots1to24");
    QTest::addColumn<int>("offset");

    const QByteArray reply = Hex("F8 02 03 40 01 02 03 04 05 06 07 08 69");
    QTest::newRow("13 bytes in one event") << QList{reply} << reply + QByteArray(11, '\xAA') << 8;
    QTest::newRow("5 then 8 bytes: slots 6 to 8 keep older contents")
        << QList{reply.left(5), reply.mid(5)}
        << reply.left(5) + Hex("AAAAAA") + reply.mid(5) + QByteArray(8, '\xAA') << 16;
    QTest::newRow("a fourth event stores nothing")
        << QList{Hex("01"), Hex("02"), Hex("03"), Hex("04")}
        << Hex("01 AAAAAAAAAAAAAA 02 AAAAAAAAAAAAAA 03 AAAAAAAAAAAAAA") << 24;
    QTest::newRow("30 bytes store the first 24")
        << QList{QByteArray(24, '\x11') + QByteArray(6, '\x22')} << QByteArray(24, '\x11') << 8;
    QTest::newRow("an empty event still moves the offset")
        << QList{QByteArray(), Hex("F8")}
        << QByteArray(8, '\xAA') + Hex("F8") + QByteArray(15, '\xAA') << 16;
}

void TestSerialLink::placement()
{
    QFETCH(QList<QByteArray>, events);
    QFETCH(QByteArray, slots1to24);
    QFETCH(int, offset);

    FakeBusPort port;
    SerialLink link(&port);
    link.setAwaitingReply(SerialLink::AwaitingReply);
    port.arrive(QByteArray(24, '\xAA')); // an earlier exchange filled every slot
    link.setReceiveOffset(0);
    for (const QByteArray &event : events)
        port.arrive(event);
    QCOMPARE(Slots(link, 1, 24).toHex(' '), slots1to24.toHex(' '));
    QCOMPARE(link.receiveOffset(), offset);
    QCOMPARE(link.replyBuffer().slot(25), 0);
}

void TestSerialLink::closedGateLeavesBytesInPort()
{
    FakeBusPort port;
    SerialLink link(&port);
    // Before the first request the gate is closed, and only the value 20
    // opens it: bytes are not read.
    port.arrive(Hex("55"));
    link.setAwaitingReply(1);
    port.arrive(Hex("66"));
    QCOMPARE(port.takeCount, 0);
    QCOMPARE(link.receiveOffset(), 0);
    QCOMPARE(port.waiting, Hex("55 66"));
    // The first event of the exchange takes them together with the reply,
    // so the exchange sees foreign traffic.
    link.setAwaitingReply(SerialLink::AwaitingReply);
    port.arrive(Hex("F8 9C 01 9D"));
    QCOMPARE(Slots(link, 1, 6), Hex("55 66 F8 9C 01 9D"));
    QCOMPARE(JudgeReply(link.replyBuffer(), link.receiveOffset(), 0x9C).verdict,
             Verdict::ForeignTraffic);
}

void TestSerialLink::engineGateAndHook()
{
    FakeBusPort port;
    SerialLink link(&port);
    int runMode = 0;
    link.setReceiveGate([&runMode] { return runMode == 20; });
    QSignalSpy stored(&link, &SerialLink::replyStored);

    link.setAwaitingReply(SerialLink::AwaitingReply); // not the gate any more
    port.arrive(Hex("F8"));
    QCOMPARE(stored.count(), 0);
    QCOMPARE(link.receiveOffset(), 0);

    runMode = 20;
    port.arrive(Hex("9C"));
    QCOMPARE(stored.count(), 1);
    QCOMPARE(Slots(link, 1, 2), Hex("F8 9C"));
}

void TestSerialLink::senders()
{
    FakeBusPort port;
    SerialLink link(&port);
    QVERIFY(link.SendRaw(Hex("F0 03 02")));
    link.setRunningChecksum(0x03 + 0x02);
    QVERIFY(link.SendStuffed(0x10));
    QVERIFY(link.SendStuffed(0xF0));
    QCOMPARE(link.runningChecksum(), 0x116);
    QVERIFY(link.SendRaw(QByteArray(1, static_cast<char>(ReduceChecksum(link.runningChecksum())))));
    QCOMPARE(port.written.toHex(' '), Hex("F0 03 02 10 F0 11 16").toHex(' '));

    // A value that does not fit in a byte never goes on the wire.
    QVERIFY(!link.SendStuffed(0x1AB));
    QVERIFY(!link.SendStuffed(-1));
    QCOMPARE(port.written.size(), 7);
    QCOMPARE(link.runningChecksum(), 0x116);
}

void TestSerialLink::waitProcessesEventsAndIsGuarded()
{
    FakeBusPort port;
    SerialLink link(&port);
    WaitClock clock(20ms, QStringLiteral("Timer2"));
    link.setAwaitingReply(SerialLink::AwaitingReply);

    // A reply that arrives during the wait is stored before the wait ends,
    // and a second wait asked for meanwhile is refused.
    bool nestedRan = true;
    QTimer::singleShot(1ms, &port, [&] {
        port.arrive(Hex("F8 9C 01 9D"));
        nestedRan = clock.Wait(1);
    });
    QVERIFY(clock.Wait(1));
    QVERIFY(!nestedRan);
    QCOMPARE(link.receiveOffset(), 8);
    QVERIFY(!clock.isWaiting());

    // The wait runs its whole length, n units, on a precise timer.
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(clock.Wait(3));
    QVERIFY(elapsed.elapsed() >= 60);
    QCOMPARE(clock.timer().timerType(), Qt::PreciseTimer);
    QCOMPARE(clock.timer().objectName(), QStringLiteral("Timer2"));
    QVERIFY(clock.Wait(0));
    QVERIFY(clock.Wait(-1));

    // Closing the window ends a long wait at once and refuses later ones.
    WaitClock longClock(10s, QStringLiteral("Timer1"));
    QTimer::singleShot(5ms, &longClock, [&] { longClock.shutDown(); });
    QVERIFY(!longClock.Wait(1));
    QVERIFY(!longClock.Wait(1));

    // A window destroyed inside the wait takes its clock with it.
    auto *window = new QObject;
    auto *windowClock = new WaitClock(10s, QStringLiteral("Timer1"), window);
    QTimer::singleShot(5ms, window, [window] { window->deleteLater(); });
    QVERIFY(!windowClock->Wait(1));
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
