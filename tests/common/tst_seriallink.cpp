// Which device a tool opens, and what it says when it cannot; the link's
// receive handler with its placement rule and gate, the senders, the wait
// and the bus timer. The link on a real serial device is met in
// tst_bussimpty.
#include "busport.h"
#include "exacttimer.h"
#include "fakebusport.h"
#include "portchoice.h"
#include "seriallink.h"
#include "waitclock.h"

#include "testbytes.h"
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(PortSource)
Q_DECLARE_METATYPE(PortError)

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
    void initTestCase();
    void order_data();
    void order();
    void failureTexts_data();
    void failureTexts();
    void placement_data();
    void placement();
    void gates();
    void waitingLimit();
    void wait();
    void exactTimer();

private:
    QTemporaryDir m_settings;
};

void TestSerialLink::initTestCase()
{
    // The user's own remembered port is never read nor written here.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
}

void TestSerialLink::order_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QString>("device");
    QTest::addColumn<PortSource>("source");

    const auto row = [](const char *name, const char *commandLine, const char *environment,
                        const char *remembered, const QString &device, PortSource source) {
        QTest::newRow(name) << commandLine << environment << remembered << device << source;
    };
    row("all three", "/dev/ttyUSB1", "/dev/pts/4", "/dev/ttyUSB0", u"/dev/ttyUSB1"_qs,
        PortSource::CommandLine);
    row("environment before remembered", "", "/dev/pts/4", "/dev/ttyUSB0", u"/dev/pts/4"_qs,
        PortSource::Environment);
    row("remembered", "", "", "/dev/ttyUSB0", u"/dev/ttyUSB0"_qs, PortSource::Remembered);
    row("none: port 1", "", "", "", u"/dev/ttyS0"_qs, PortSource::Platform);
}

// Each row runs through the real sources: the environment variable and the
// settings the four tools share.
void TestSerialLink::order()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, environment);
    QFETCH(QString, remembered);
    QFETCH(QString, device);
    QFETCH(PortSource, source);

    qputenv(DeviceVariable, environment.toLocal8Bit());
    RememberPort(remembered);
    const PortChoice choice = ChoosePort(commandLine);
    qunsetenv(DeviceVariable);
    QCOMPARE(choice.device, device);
    QCOMPARE(int(choice.source), int(source));
}

void TestSerialLink::failureTexts_data()
{
    QTest::addColumn<PortError>("error");
    QTest::addColumn<QString>("text");

    const QString head = u"Порт /dev/ttyUSB0 не открыт: "_qs;
    QTest::newRow("missing") << PortError::Missing
                             << head + u"такого устройства нет; выберите порт в меню «Порт»"_qs;
#ifdef Q_OS_LINUX
    QTest::newRow("no rights")
        << PortError::Denied
        << head + u"нет прав на устройство; добавьте пользователя в группу dialout "
                  "(sudo usermod -aG dialout $USER) и войдите в систему заново"_qs;
#endif
    QTest::newRow("held by another program")
        << PortError::Busy << head + u"порт занят другой программой"_qs;
    QTest::newRow("other: the system's words") << PortError::OpenFailed << head + u"system text"_qs;
}

void TestSerialLink::failureTexts()
{
    QFETCH(PortError, error);
    QFETCH(QString, text);
    QCOMPARE(PortErrorText(error, u"/dev/ttyUSB0"_qs, u"system text"_qs), text);
}

void TestSerialLink::placement_data()
{
    QTest::addColumn<QList<QByteArray>>("events");
    QTest::addColumn<QByteArray>("slots1to24");
    QTest::addColumn<int>("offset");

    const QByteArray reply = Hex("F8 02 03 40 01 02 03 04 05 06 07 08 69");
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
    const ReceptionGate open = link.openReception();
    port.arrive(QByteArray(24, '\xAA')); // an earlier exchange filled every slot
    link.ForgetReceived();
    for (const QByteArray &event : events)
        port.arrive(event);
    QCOMPARE(Slots(link, 1, 25).toHex(' '), (slots1to24 + '\0').toHex(' '));
    QCOMPARE(link.receiveOffset(), offset);
}

void TestSerialLink::gates()
{
    FakeBusPort port;
    SerialLink link(&port);
    QSignalSpy stored(&link, &SerialLink::replyStored);
    QSignalSpy waiting(&link, &SerialLink::bytesWaiting);
    // Before the first request, and while a gate taken inside an open one
    // keeps reception closed, the bytes stay in the port; the first event
    // once the open gate is back takes them with the reply.
    port.arrive(Hex("55"));
    auto open = std::make_optional(link.openReception());
    {
        const ReceptionGate closed = link.closeReception();
        port.arrive(Hex("66"));
    }
    QCOMPARE(port.waiting, Hex("55 66"));
    QCOMPARE(waiting.count(), 2);
    port.arrive(Hex("F8 9C 01 9D"));
    QCOMPARE(Slots(link, 1, 6), Hex("55 66 F8 9C 01 9D"));
    QCOMPARE(stored.count(), 1);

    // Closed again, the bytes can be handed over past the reply buffer; a
    // request sent forgets what was received.
    open.reset();
    QCOMPARE(link.awaitingReply(), 0);
    port.arrive(Hex("77"));
    QCOMPARE(link.takeWaiting(), Hex("77"));
    QCOMPARE(stored.count(), 1);
    QVERIFY(link.SendRequest(Hex("F0 9C 01 9D")));
    QCOMPARE(link.receiveOffset(), 0);
}

// Noise on a line nobody reads (reception closed between runs) leaves only
// the newest bytes waiting; the log hears each byte once, those dropped
// unread too, across the end of a burst.
void TestSerialLink::waitingLimit()
{
    struct : BusTap
    {
        QByteArray heard;
        void sent(const QByteArray &) override {}
        void received(const QByteArray &bytes) override { heard += bytes; }
    } tap;
    FakeBusPort port;
    port.setTap(&tap);
    QByteArray noise;
    for (int k = 0; k < 3 * BusPort::WaitingLimit; ++k)
        noise.append(char(k % 251));
    for (qsizetype at = 0; at < noise.size(); at += 100) {
        port.deliver(noise.mid(at, 100));
        if (at == 2000)
            port.deliverPending(); // a quiet moment ends the burst; nobody takes it
    }
    QCOMPARE(port.takeAll(), noise.right(BusPort::WaitingLimit));
    QCOMPARE(tap.heard, noise);
}

void TestSerialLink::wait()
{
    FakeBusPort port;
    SerialLink link(&port);
    WaitClock clock(20ms, QStringLiteral("Timer2"));
    const ReceptionGate open = link.openReception();

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

    // The wait runs its whole length, n units. (A wait of none, and one ended
    // by closing the window, are met in tst_sysloadbus and tst_probewindow.)
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(clock.Wait(3));
    QVERIFY(elapsed.elapsed() >= 60);
}

// The bus timer ticks when due and never before, at a steady period. (A
// stopped timer that ticks on is met by every tool's suite.)
void TestSerialLink::exactTimer()
{
    // The event loop runs as a tool's window runs it (QTest's own waits sleep
    // in slices, which would hold the ticks up), until four ticks or 1 s.
    ExactTimer timer;
    QList<qint64> ticks; // nanoseconds since the start
    QElapsedTimer elapsed;
    QEventLoop loop;
    connect(&timer.timer(), &QTimer::timeout, &timer, [&] {
        ticks.append(elapsed.nsecsElapsed());
        if (ticks.size() == 4)
            loop.quit();
    });
    QTimer::singleShot(1s, &loop, &QEventLoop::quit);
    elapsed.start();
    timer.start(15ms);
    loop.exec();
    QCOMPARE(ticks.size(), 4);
    for (qsizetype k = 0; k < ticks.size(); ++k)
        QVERIFY2(ticks[k] >= (k + 1) * 15'000'000, qPrintable(QString::number(ticks[k])));
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
