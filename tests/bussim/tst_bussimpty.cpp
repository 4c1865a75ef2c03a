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
using namespace Qt::StringLiterals;

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
    SerialBusPort port;
    QVERIFY2(port.open(sim.device()), qPrintable(port.errorText()));
    SerialLink link(&port);
    WaitClock clock(100ms, u"Timer2"_s);
    QCOMPARE(Exchange(link, clock, Hex("F0 9C 01 9D")).left(4), Hex("F8 9C 01 9D"));
    QCOMPARE(sim.requests(), QList{Hex("F0 9C 01 9D")});

    // A fault drawn at random is told as an event of the controller.
    sim.setRandomFaults({5, 100, 1, 1});
    Exchange(link, clock, Hex("F0 9C 07 05 A8"));
    QVERIFY2(sim.events().value(0).startsWith(u"9C: fault: "_s),
             qPrintable(sim.events().join(u'|')));
}

void TestBussimPty::programServesLogsAndSavesItsNetwork()
{
    QTemporaryDir dir;
    const QString networkPath = dir.filePath(u"net.json"_s);
    const QString logPath = dir.filePath(u"bus.log"_s);
    const QString linkPath = dir.filePath(u"ttyBUS"_s);
    const QString secondLink = dir.filePath(u"ttyBUS2"_s);
    QProcess bussim;
    bussim.start(QStringLiteral(BUSSIM_PATH),
                 {u"--network"_s, networkPath, u"--log"_s, logPath, u"--link"_s, linkPath,
                  u"--link"_s, secondLink, u"--absent"_s, u"9D"_s, u"--wire-time"_s});
    QVERIFY(bussim.waitForStarted());
    QVERIFY(bussim.waitForReadyRead(5000));
    const QString device = QString::fromLocal8Bit(bussim.readLine()).trimmed();
    QVERIFY(device.startsWith(u"/dev/"_s));
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
        WaitClock clock(100ms, u"Timer2"_s);
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
    // The links go with the program (a link left behind points nowhere, so
    // asking whether its target exists would not see it).
    QVERIFY(!QFileInfo(linkPath).isSymLink() && !QFileInfo(secondLink).isSymLink());

    bussim::Network saved;
    QString error;
    QVERIFY2(saved.load(networkPath, &error), qPrintable(error));
    QCOMPARE(saved.registers(0x9C)[1],
             (bussim::Register{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
    QVERIFY(saved.find(0x9D)->absent);

    // Every frame in and out, in order of time.
    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QStringList frames;
    qint64 last = 0;
    while (!log.atEnd()) {
        const QJsonObject line = QJsonDocument::fromJson(log.readLine()).object();
        QVERIFY(line.value(u"t_us"_s).toInteger() >= last);
        last = line.value(u"t_us"_s).toInteger();
        frames << line.value(u"dir"_s).toString() + u' ' + line.value(u"addr"_s).toString() + u' ' +
                      line.value(u"bytes"_s).toString();
    }
    QCOMPARE(frames,
             (QStringList{u"in 9C F0 9C 01 9D"_s, u"out 9C F8 9C 01 9D"_s, u"in 9D F0 9D 01 9E"_s,
                          u"in 9C F0 9C 08 01 11 22 33 44 55 66 77 88 09"_s,
                          u"out 9C F8 9C 01 9D"_s, u"in 9C F0 9C 07 01 A4"_s,
                          u"out 9C F8 9C 07 01 11 22 33 44 55 66 77 88 08"_s}));
}

QTEST_GUILESS_MAIN(TestBussimPty)
#include "tst_bussimpty.moc"
