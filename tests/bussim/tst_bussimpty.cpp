// The simulator on a real pseudo-terminal, talked to through the tools' own
// serial link: in this process, and as the program an installer starts.
#include "busport.h"
#include "seriallink.h"
#include "waitclock.h"

#include "simharness.h"
#include "testbytes.h"
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace std::chrono_literals;

namespace {
// Sends a request through the link, waits one unit, and gives what the reply
// buffer holds (nothing when no receive event came).
QByteArray Exchange(SerialLink &link, WaitClock &clock, const QByteArray &request)
{
    link.setReceiveOffset(0);
    link.setAwaitingReply(SerialLink::AwaitingReply);
    if (!link.SendRaw(request))
        return QByteArray("not sent");
    clock.Wait(1);
    link.setAwaitingReply(0);
    QByteArray stored;
    for (int slot = 1; link.receiveOffset() > 0 && slot <= ReplyBuffer::ReceiveLimit; ++slot)
        stored.append(static_cast<char>(link.replyBuffer().slot(slot)));
    return stored;
}
} // namespace

class TestBussimPty : public QObject
{
    Q_OBJECT
private slots:
    void exchangesThroughTheLink();
    void programServesLogsAndSavesItsNetwork();
};

void TestBussimPty::exchangesThroughTheLink()
{
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    sim.network().setAbsent(0x83, true);
    SerialBusPort port;
    QVERIFY2(port.open(sim.device()), qPrintable(port.errorText()));
    SerialLink link(&port);
    WaitClock clock(100ms, QStringLiteral("Timer2"));

    QCOMPARE(Exchange(link, clock, Hex("F0 9C 01 9D")).left(4), Hex("F8 9C 01 9D"));
    QCOMPARE(link.receiveOffset(), 8);
    QCOMPARE(Exchange(link, clock, Hex("F0 83 07 00 8A")), QByteArray());
    QCOMPARE(link.receiveOffset(), 0);

    // A reply split with a pause longer than the port's burst gap comes as
    // two receive events, the second placed from slot 9 on.
    sim.setFault(0x9C, bussim::Fault{bussim::Fault::Kind::Split, 5, 60, 1});
    sim.network().registers(0x9C)[5] = {1, 2, 3, 4, 5, 6, 7, 8};
    Exchange(link, clock, Hex("F0 9C 07 05 A8"));
    QCOMPARE(link.receiveOffset(), 16);
    QCOMPARE(link.replyBuffer().slot(1), 0xF8);
    QCOMPARE(link.replyBuffer().slot(9), 0x02);
    QCOMPARE(sim.requests().size(), 3);

    // A fault drawn at random is told as an event of the controller.
    sim.setRandomFaults({5, 100, 1, 1});
    Exchange(link, clock, Hex("F0 9C 07 05 A8"));
    QVERIFY2(sim.events().value(0).startsWith(QStringLiteral("9C: fault: ")),
             qPrintable(sim.events().join(u'|')));
}

void TestBussimPty::programServesLogsAndSavesItsNetwork()
{
    QTemporaryDir dir;
    const QString networkPath = dir.filePath(QStringLiteral("net.json"));
    const QString logPath = dir.filePath(QStringLiteral("bus.log"));
    const QString linkPath = dir.filePath(QStringLiteral("ttyBUS"));
    const QString secondLink = dir.filePath(QStringLiteral("ttyBUS2"));
    QProcess bussim;
    bussim.start(QStringLiteral(BUSSIM_PATH),
                 {QStringLiteral("--network"), networkPath, QStringLiteral("--log"), logPath,
                  QStringLiteral("--link"), linkPath, QStringLiteral("--link"), secondLink,
                  QStringLiteral("--absent"), QStringLiteral("9D"), QStringLiteral("--wire-time")});
    QVERIFY(bussim.waitForStarted());
    QVERIFY(bussim.waitForReadyRead(5000));
    const QString device = QString::fromLocal8Bit(bussim.readLine()).trimmed();
    QVERIFY(device.startsWith(QStringLiteral("/dev/")));
    QCOMPARE(QFileInfo(linkPath).symLinkTarget(), device);
    // A second pseudo-terminal on the same network, for a second tool.
    QVERIFY(bussim.canReadLine() || bussim.waitForReadyRead(5000));
    const QString second = QString::fromLocal8Bit(bussim.readLine()).trimmed();
    QCOMPARE(QFileInfo(secondLink).symLinkTarget(), second);
    QVERIFY(second != device);

    {
        SerialBusPort port;
        QVERIFY2(port.open(linkPath), qPrintable(port.errorText()));
        SerialLink link(&port);
        WaitClock clock(100ms, QStringLiteral("Timer2"));
        QCOMPARE(Exchange(link, clock, Hex("F0 9C 01 9D")).left(4), Hex("F8 9C 01 9D"));
        QCOMPARE(Exchange(link, clock, Hex("F0 9D 01 9E")), QByteArray());
        // Written here, and found in the network file after the program ends.
        QCOMPARE(Exchange(link, clock, Hex("F0 9C 08 01 11 22 33 44 55 66 77 88 09")).left(4),
                 Hex("F8 9C 01 9D"));
        // The second tool's port sees what the first one wrote.
        SerialBusPort otherPort;
        QVERIFY2(otherPort.open(second), qPrintable(otherPort.errorText()));
        SerialLink otherLink(&otherPort);
        QCOMPARE(Exchange(otherLink, clock, Hex("F0 9C 07 01 A4")).left(13),
                 Hex("F8 9C 07 01 11 22 33 44 55 66 77 88 08"));
    }

    ::kill(static_cast<pid_t>(bussim.processId()), SIGTERM);
    QVERIFY(bussim.waitForFinished(5000));
    QCOMPARE(bussim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bussim.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(linkPath));
    QVERIFY(!QFileInfo::exists(secondLink));

    bussim::Network saved;
    QString error;
    QVERIFY2(saved.load(networkPath, &error), qPrintable(error));
    QCOMPARE(saved.registers(0x9C)[1],
             (bussim::Register{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
    QVERIFY(saved.find(0x9D)->absent);

    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QList<QJsonObject> lines;
    while (!log.atEnd())
        lines.append(QJsonDocument::fromJson(log.readLine()).object());
    QCOMPARE(lines.size(), 7); // four requests in, three replies out
    QCOMPARE(lines[0].value(QStringLiteral("dir")).toString(), QStringLiteral("in"));
    QCOMPARE(lines[0].value(QStringLiteral("bytes")).toString(), QStringLiteral("F0 9C 01 9D"));
    QCOMPARE(lines[1].value(QStringLiteral("dir")).toString(), QStringLiteral("out"));
    QCOMPARE(lines[1].value(QStringLiteral("addr")).toString(), QStringLiteral("9C"));
    QVERIFY(lines[1].value(QStringLiteral("t_us")).toInteger() >
            lines[0].value(QStringLiteral("t_us")).toInteger());
    // At the bus's speed the reply's last byte leaves a byte time (520 us) per
    // byte after its first, and before the next request comes in.
    const qint64 first = lines[1].value(QStringLiteral("t_us")).toInteger();
    const qint64 last = lines[1].value(QStringLiteral("last_us")).toInteger();
    const qsizetype bytes = lines[1].value(QStringLiteral("bytes")).toString().split(u' ').size();
    QVERIFY2(last - first >= (bytes - 1) * 520, qPrintable(QString::number(last - first)));
    QVERIFY(last < lines[2].value(QStringLiteral("t_us")).toInteger());
}

QTEST_GUILESS_MAIN(TestBussimPty)
#include "tst_bussimpty.moc"
