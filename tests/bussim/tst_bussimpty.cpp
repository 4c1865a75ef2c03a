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
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {
// Starts a tool in a process of its own that opens the port as the tools
// do; under root as "nobody", whom the port's exclusive mode stops. It exits
// with 0 when the port opened, else with the system's error; given a pipe, it
// takes the port for itself (exclusive mode), tells so, and stays.
constexpr uid_t Nobody = 65534;
pid_t StartTool(const QByteArray &device, int held = -1)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    if (::geteuid() == 0 && (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0))
        ::_exit(EPERM);
    const int fd = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 || held < 0)
        ::_exit(fd < 0 ? errno : 0);
    ::ioctl(fd, TIOCEXCL);
    if (::write(held, "1", 1) == 1)
        ::pause();
    ::_exit(EPIPE);
}

int ToolOpens(const QByteArray &device)
{
    int status = 0;
    ::waitpid(StartTool(device), &status, 0);
    return WEXITSTATUS(status);
}

// Sends a request through the link, waits, and gives what the reply
// buffer holds (nothing when no receive event came).
QByteArray Exchange(SerialLink &link, WaitClock &clock, const QByteArray &request, int units = 1)
{
    const ReceptionGate open = link.openReception();
    if (!link.SendRequest(request))
        return QByteArray("not sent");
    clock.Wait(units);
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
    void linkOnThePseudoTerminal();
    void killedToolLeavesItsPortFree();
    void programServesLogsAndSavesItsNetwork_data();
    void programServesLogsAndSavesItsNetwork();
};

// The tools' link on the simulator's pseudo-terminal, in this process:
// replies that reach the port in pieces, a fault drawn at random, and a
// device that vanishes. The line's settings are the port menu's test's
// (tst_toolwindow), which sets them from another program's.
void TestBussimPty::linkOnThePseudoTerminal()
{
    auto sim = std::make_unique<SimHarness>();
    QVERIFY2(sim->ok(), qPrintable(sim->error()));
    const QString device = sim->device();
    BusPort port;
    QVERIFY2(port.open(device), qPrintable(port.errorText()));
    SerialLink link(&port);
    QSignalSpy failed(&link, &SerialLink::portFailed);
    WaitClock clock(100ms, u"Timer2"_s);
    QCOMPARE(Exchange(link, clock, Hex("F0 9C 01 9D")).left(4), Hex("F8 9C 01 9D"));
    QCOMPARE(sim->requests(), QList{Hex("F0 9C 01 9D")});

    // A reply that reaches the port in two deliveries a few milliseconds
    // apart is one burst, stored whole from slot 1; pieces far apart are two
    // receive events, each from the start of its eight-slot block.
    for (int gap : {5, 150}) {
        sim->setFault(0x9C, bussim::Fault{bussim::Fault::Kind::Split, 5, gap, -1});
        Exchange(link, clock, Hex("F0 9C 07 05 A8"), 3);
        QCOMPARE(link.receiveOffset(), gap < BusPort::DefaultBurstGap.count() ? 8 : 16);
    }

    // A fault drawn at random is told as an event of the controller.
    sim->network().clearFaults();
    sim->setRandomFaults({5, 100, 1, 1});
    Exchange(link, clock, Hex("F0 9C 07 05 A8"));
    QVERIFY2(sim->events().value(0).startsWith(u"9C: fault: "_s),
             qPrintable(sim->events().join(u'|')));

    // The peer goes away, as when an adapter is pulled out: told once, with
    // the device's name, and nothing more is sent.
    sim.reset();
    QVERIFY(clock.Wait(2));
    QCOMPARE(failed.count(), 1);
    QVERIFY(failed.first().first().toString().contains(device));
    QVERIFY(!link.SendRaw(Hex("F0 9C 01 9D")));
    QVERIFY(clock.Wait(1));
    QCOMPARE(failed.count(), 1);
}

// A tool killed while it holds its port leaves the port free for the next.
void TestBussimPty::killedToolLeavesItsPortFree()
{
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    const QByteArray device = QFile::encodeName(sim.device());
    QVERIFY(::geteuid() != 0 || ::chown(device.constData(), Nobody, Nobody) == 0);
    int held[2];
    QCOMPARE(::pipe(held), 0);
    const pid_t holder = StartTool(device, held[1]);
    char byte = 0;
    QCOMPARE(::read(held[0], &byte, 1), 1);
    QCOMPARE(ToolOpens(device), EBUSY);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    QTRY_COMPARE(ToolOpens(device), 0);
    ::close(held[0]);
    ::close(held[1]);
}

void TestBussimPty::programServesLogsAndSavesItsNetwork_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP: the terminal closed") << SIGHUP;
}

// The program on its network file, with absences and faults of the file's own
// and of the command line's, until a signal ends it.
void TestBussimPty::programServesLogsAndSavesItsNetwork()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString networkPath = dir.filePath(u"net.json"_s);
    QFile file(networkPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        R"({"controllers": {"07": {"absent": true}, "9C": {"faults": ["delay=5:count=1"]}}})");
    file.close();
    const QString logPath = dir.filePath(u"bus.log"_s);
    const QString linkPath = dir.filePath(u"ttyBUS"_s);
    const QString secondLink = dir.filePath(u"ttyBUS2"_s);
    QProcess bussim;
    // Hangups not ignored, as in a terminal, whatever started this test.
    bussim.setChildProcessModifier([] { std::signal(SIGHUP, SIG_DFL); });
    bussim.start(QStringLiteral(BUSSIM_PATH),
                 {u"--network"_s, networkPath, u"--log"_s, logPath, u"--link"_s, linkPath,
                  u"--link"_s, secondLink, u"--absent"_s, u"9D"_s, u"--fault"_s, u"05:silent"_s,
                  u"--wire-time"_s});
    QVERIFY(bussim.waitForStarted());
    // Each pseudo-terminal named on a line of its own, behind its link; the
    // second, on the same network, is for a second tool.
    QStringList devices;
    while (devices.size() < 2 && (bussim.canReadLine() || bussim.waitForReadyRead(5000)))
        devices << QString::fromLocal8Bit(bussim.readLine()).trimmed();
    QCOMPARE(devices, (QStringList{QFileInfo(linkPath).symLinkTarget(),
                                   QFileInfo(secondLink).symLinkTarget()}));
    QVERIFY(devices[0].startsWith(u"/dev/"_s) && devices[1] != devices[0]);

    {
        BusPort port;
        QVERIFY2(port.open(linkPath), qPrintable(port.errorText()));
        SerialLink link(&port);
        WaitClock clock(100ms, u"Timer2"_s);
        QCOMPARE(Exchange(link, clock, Hex("F0 9C 01 9D")).left(4), Hex("F8 9C 01 9D"));
        QCOMPARE(Exchange(link, clock, Hex("F0 9D 01 9E")), QByteArray());
        // Written here, and found in the network file after the program ends.
        QCOMPARE(Exchange(link, clock, Hex("F0 9C 08 01 11 22 33 44 55 66 77 88 09")).left(4),
                 Hex("F8 9C 01 9D"));
        // The second tool's port sees what the first one wrote.
        BusPort otherPort;
        QVERIFY2(otherPort.open(devices[1]), qPrintable(otherPort.errorText()));
        SerialLink otherLink(&otherPort);
        QCOMPARE(Exchange(otherLink, clock, Hex("F0 9C 07 01 A4")).left(13),
                 Hex("F8 9C 07 01 11 22 33 44 55 66 77 88 08"));
    }

    ::kill(static_cast<pid_t>(bussim.processId()), signal);
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
    // The file's own absences and faults as it had them (9C's delay, though
    // spent, is there for the next run); the command line's were for this run.
    QVERIFY(saved.find(0x07)->absent && !saved.find(0x9D)->absent);
    QCOMPARE(saved.find(0x9C)->faults.size(), 1);
    QCOMPARE(bussim::FaultText(saved.find(0x9C)->faults[0]), u"delay=5:count=1"_s);
    QVERIFY(saved.find(0x05)->faults.isEmpty());

    // Every frame in and out, in order of time.
    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QList<QJsonObject> lines;
    QStringList frames;
    while (!log.atEnd()) {
        const QJsonObject line = QJsonDocument::fromJson(log.readLine()).object();
        QVERIFY(lines.isEmpty() ||
                line.value(u"t_us"_s).toInteger() >= lines.last().value(u"t_us"_s).toInteger());
        lines.append(line);
        frames << line.value(u"dir"_s).toString() + u' ' + line.value(u"addr"_s).toString() + u' ' +
                      line.value(u"bytes"_s).toString();
    }
    QCOMPARE(frames,
             (QStringList{u"in 9C F0 9C 01 9D"_s, u"out 9C F8 9C 01 9D"_s, u"in 9D F0 9D 01 9E"_s,
                          u"in 9C F0 9C 08 01 11 22 33 44 55 66 77 88 09"_s,
                          u"out 9C F8 9C 01 9D"_s, u"in 9C F0 9C 07 01 A4"_s,
                          u"out 9C F8 9C 07 01 11 22 33 44 55 66 77 88 08"_s}));
    // At the bus's speed the reply's last byte leaves a byte time (520 us) per
    // byte after its first, and before the next request comes in.
    const qint64 first = lines[1].value(u"t_us"_s).toInteger();
    const qint64 last = lines[1].value(u"last_us"_s).toInteger();
    QVERIFY2(last - first >= (4 - 1) * 520, qPrintable(QString::number(last - first)));
    QVERIFY(last < lines[2].value(u"t_us"_s).toInteger());
}

QTEST_GUILESS_MAIN(TestBussimPty)
#include "tst_bussimpty.moc"
