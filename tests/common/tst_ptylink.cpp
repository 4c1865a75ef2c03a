// The link on a real serial device: a pseudo-terminal pair stands in for the
// bus, the test plays the controller on its master side.
#include "busframe.h"
#include "busport.h"
#include "seriallink.h"
#include "waitclock.h"

#include "testbytes.h"
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {
// Reads what the link put on the wire, up to `count` bytes or one second.
QByteArray ReadMaster(int fd, qsizetype count)
{
    QByteArray bytes;
    while (bytes.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0)
            break;
        char buffer[64];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<qsizetype>(n));
    }
    return bytes;
}
} // namespace

class TestPtyLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void bytesBothWays();
    void unopenablePortIsReported();
    void vanishedDeviceIsReportedOnce();

private:
    int m_master = -1;
    QString m_slavePath;
};

void TestPtyLink::init()
{
    int slave = -1;
    char name[256] = {};
    QVERIFY(openpty(&m_master, &slave, name, nullptr, nullptr) == 0);
    termios raw{};
    tcgetattr(m_master, &raw);
    cfmakeraw(&raw);
    tcsetattr(m_master, TCSANOW, &raw);
    // The link opens the slave by its name; our own descriptor is not needed.
    close(slave);
    m_slavePath = QString::fromLocal8Bit(name);
}

void TestPtyLink::cleanup()
{
    if (m_master >= 0)
        close(m_master);
    m_master = -1;
}

void TestPtyLink::bytesBothWays()
{
    qputenv(SerialBusPort::DeviceVariable, m_slavePath.toLocal8Bit());
    QCOMPARE(SerialBusPort::DefaultDevice(), m_slavePath);
    SerialBusPort port;
    QVERIFY2(port.open(SerialBusPort::DefaultDevice()), qPrintable(port.errorText()));
    SerialLink link(&port);
    WaitClock clock(100ms, QStringLiteral("Timer2"));

    QVERIFY(link.SendRaw(Hex("F0 9C 01 9D")));
    QCOMPARE(ReadMaster(m_master, 4).toHex(' '), Hex("F0 9C 01 9D").toHex(' '));

    // The line runs at 19200 baud, 8 data bits, no parity, 1 stop bit.
    termios line{};
    QCOMPARE(tcgetattr(m_master, &line), 0);
    QCOMPARE(cfgetospeed(&line), speed_t(B19200));
    QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));

    // A reply that reaches the port in two deliveries a few milliseconds
    // apart is one burst, stored whole from slot 1; pieces far apart are two
    // receive events, each from the start of its eight-slot block.
    const QByteArray reply = Hex("F8 02 03 40 01 02 03 04 05 06 07 08 69");
    for (auto gap : {5ms, 150ms}) {
        link.setReceiveOffset(0);
        link.setAwaitingReply(SerialLink::AwaitingReply);
        std::thread controller([&] {
            QCOMPARE(write(m_master, reply.constData(), 5), ssize_t(5));
            std::this_thread::sleep_for(gap);
            QCOMPARE(write(m_master, reply.constData() + 5, 8), ssize_t(8));
        });
        QVERIFY(clock.Wait(3));
        controller.join();
        const bool oneBurst = gap < SerialBusPort::DefaultBurstGap;
        QCOMPARE(link.receiveOffset(), oneBurst ? 8 : 16);
        QCOMPARE(link.replyBuffer().slot(9), oneBurst ? 0x05 : 0x02);
        const ReplyJudgement judgement = JudgeReply(link.replyBuffer(), link.receiveOffset(), 0x02);
        QCOMPARE(judgement.verdict, oneBurst ? Verdict::Ok : Verdict::ChecksumMismatch);
    }
}

void TestPtyLink::unopenablePortIsReported()
{
    SerialBusPort port;
    const QString device = QStringLiteral("/dev/umd-no-such-port");
    QVERIFY(!port.open(device));
    QVERIFY(port.errorText().contains(device));
    SerialLink link(&port);
    QVERIFY(!link.SendRaw(Hex("F0 9C 01 9D")));
    QVERIFY(link.errorText().contains(device));
}

void TestPtyLink::vanishedDeviceIsReportedOnce()
{
    SerialBusPort port;
    QVERIFY2(port.open(m_slavePath), qPrintable(port.errorText()));
    SerialLink link(&port);
    QSignalSpy failed(&link, &SerialLink::portFailed);
    WaitClock clock(100ms, QStringLiteral("Timer2"));

    // The peer goes away, as when an adapter is pulled out.
    close(m_master);
    m_master = -1;
    QVERIFY(clock.Wait(2));
    QCOMPARE(failed.count(), 1);
    QVERIFY(failed.first().first().toString().contains(m_slavePath));
    QVERIFY(!link.SendRaw(Hex("F0 9C 01 9D")));
    QVERIFY(clock.Wait(1));
    QCOMPARE(failed.count(), 1);
}

QTEST_GUILESS_MAIN(TestPtyLink)
#include "tst_ptylink.moc"
