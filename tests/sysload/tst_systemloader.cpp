// The runs' own rules, on a port the test answers by hand: what never goes on
// the wire, what a run does when the port is missing or fails, a second press
// during a run, closing during a run, and a save that fails.
#include "busframe.h"
#include "fakebusport.h"
#include "seriallink.h"
#include "systemloader.h"
#include "waitclock.h"

#include "testbytes.h"
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

namespace {
// A port on which a controller answers every request after a turn of the event loop.
class AnsweringPort : public FakeBusPort
{
public:
    using FakeBusPort::FakeBusPort;
    std::function<QByteArray(const QByteArray &)> answer;
    int requests = 0;

    bool write(const QByteArray &bytes) override
    {
        if (!FakeBusPort::write(bytes))
            return false;
        ++requests;
        const QByteArray reply = answer ? answer(bytes) : QByteArray();
        if (!reply.isEmpty())
            QTimer::singleShot(0, this, [this, reply] { arrive(reply); });
        return true;
    }
};

// The acknowledgement of a write, or register n of a controller holding n in every byte.
QByteArray Answer(const QByteArray &request)
{
    const int address = static_cast<quint8>(request[1]);
    if (request[2] == char(WriteRegisterBlock))
        return *FrameBuilder(ReplyStart, address, ReplyDone).finish();
    const int n = static_cast<quint8>(request[3]);
    FrameBuilder reply(ReplyStart, address, ReplyRegisterBlock);
    reply.raw(n);
    for (int j = 0; j < 8; ++j)
        reply.stuffed(n);
    return *reply.finish();
}

auto Only(int wanted)
{
    return [wanted](int slot) {
        return slot == wanted;
    };
}
} // namespace

class TestSystemLoader : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void valueOutsideByteIsNeverSent();
    void closedPortSaysSo_data();
    void closedPortSaysSo();
    void portFailingMidRunEndsIt();
    void secondPressIgnoredAndCloseEndsRun();
    void failedSave_data();
    void failedSave();
    void receptionGateAfterEachRun();

private:
    QTemporaryDir m_dir;
    QString m_path;
    AnsweringPort *m_port = nullptr;
    SerialLink *m_link = nullptr;
    WaitClock *m_clock = nullptr;
    SystemImage m_image;
    SystemLoader *m_loader = nullptr;
};

void TestSystemLoader::init()
{
    m_path = m_dir.filePath(QStringLiteral("sysload.txt"));
    QFile::remove(m_path);
    m_image = SystemImage();
    m_port = new AnsweringPort;
    m_port->answer = Answer;
    m_link = new SerialLink(m_port);
    m_clock = new WaitClock(2ms, QStringLiteral("Timer1"));
    m_loader = new SystemLoader(*m_link, *m_clock, m_image, m_path);
}

void TestSystemLoader::cleanup()
{
    delete m_loader;
    delete m_clock;
    delete m_link;
    delete m_port;
}

void TestSystemLoader::valueOutsideByteIsNeverSent()
{
    m_image.at(0, 5)[2] = 256;
    m_image.at(0, 7)[0] = -1;
    QSignalSpy status(m_loader, &SystemLoader::statusChanged);
    QCOMPARE(m_loader->WriteRun(Only(0)), SystemLoader::RunEnd::Done);
    QCOMPARE(m_port->requests, 58);
    QVERIFY(!m_port->written.contains(Hex("F0 00 08 05")));
    QVERIFY(!m_port->written.contains(Hex("F0 00 08 07")));
    QCOMPARE(m_loader->errorCount(), 2);
    QVERIFY(status.contains({SysloadText::WriteLine(0, 5, false)}));
    QCOMPARE(status.at(status.size() - 2).at(0).toString(), SysloadText::ErrorCount(2));
}

void TestSystemLoader::closedPortSaysSo_data()
{
    QTest::addColumn<bool>("read");
    QTest::newRow("read run") << true;
    QTest::newRow("write run") << false;
}

void TestSystemLoader::closedPortSaysSo()
{
    QFETCH(bool, read);
    m_port->open = false;
    QSignalSpy status(m_loader, &SystemLoader::statusChanged);
    const auto all = [](int) {
        return true;
    };
    QCOMPARE(read ? m_loader->ReadRun(all) : m_loader->WriteRun(all),
             SystemLoader::RunEnd::PortClosed);
    QCOMPARE(status.size(), 1);
    QVERIFY(status.at(0).at(0).toString().contains(u"не открыт"_qs));
    QCOMPARE(m_loader->errorCount(), 0);
    QVERIFY(m_port->written.isEmpty());
    QVERIFY(!QFile::exists(m_path));
}

void TestSystemLoader::portFailingMidRunEndsIt()
{
    m_port->answer = [this](const QByteArray &request) {
        if (m_port->requests == 3)
            m_port->open = false; // the adapter is pulled during the third wait
        return Answer(request);
    };
    QSignalSpy status(m_loader, &SystemLoader::statusChanged);
    QCOMPARE(m_loader->ReadRun(Only(0)), SystemLoader::RunEnd::PortFailed);
    QCOMPARE(m_port->requests, 3);
    QCOMPARE(m_image.at(0, 1)[0], qint16(1)); // read before the failure: kept in memory
    QVERIFY(status.last().at(0).toString().contains(u"чтение прервано"_qs));
    QVERIFY(!QFile::exists(m_path));
    QVERIFY(!m_loader->isRunning());
}

void TestSystemLoader::secondPressIgnoredAndCloseEndsRun()
{
    QList<SystemLoader::RunEnd> nested;
    m_port->answer = [this, &nested](const QByteArray &request) {
        if (m_port->requests == 2) {
            nested << m_loader->WriteRun([](int) { return true; })
                   << m_loader->ReadRun([](int) { return true; });
        }
        if (m_port->requests == 4)
            QTimer::singleShot(0, m_loader, &SystemLoader::stop); // the window closes
        return Answer(request);
    };
    QCOMPARE(m_loader->ReadRun(Only(0)), SystemLoader::RunEnd::Stopped);
    QCOMPARE(nested, QList({SystemLoader::RunEnd::Busy, SystemLoader::RunEnd::Busy}));
    QCOMPARE(m_port->requests, 4);
    QVERIFY(!m_port->written.contains(Hex("F0 00 08")));
    QVERIFY(!QFile::exists(m_path)); // nothing is saved on closing
    QCOMPARE(m_loader->ReadRun(Only(0)), SystemLoader::RunEnd::Busy);
}

void TestSystemLoader::failedSave_data()
{
    QTest::addColumn<bool>("retry");
    QTest::newRow("installer frees the folder and tries again") << true;
    QTest::newRow("installer gives up") << false;
}

void TestSystemLoader::failedSave()
{
    QFETCH(bool, retry);
    const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    delete m_loader;
    m_loader =
        new SystemLoader(*m_link, *m_clock, m_image, folder + QStringLiteral("/sysload.txt"));
    QStringList reasons;
    m_loader->setSaveFailureHandler([&](const QString &reason) {
        reasons << reason;
        return retry && QDir().mkpath(folder);
    });
    QSignalSpy status(m_loader, &SystemLoader::statusChanged);

    QCOMPARE(m_loader->ReadRun(Only(9)), SystemLoader::RunEnd::Done);
    QCOMPARE(reasons.size(), 1);
    QVERIFY2(reasons.at(0).contains(u"sysload.txt"_qs), qPrintable(reasons.at(0)));
    QCOMPARE(m_port->requests, 9); // the network was read once
    QCOMPARE(m_image.at(9, 8)[7], qint16(8));
    QCOMPARE(QFile::exists(folder + QStringLiteral("/sysload.txt")), retry);
    QCOMPARE(status.at(status.size() - 2).at(0).toString(), SysloadText::ErrorCount(0));
    QCOMPARE(status.last().at(0).toString(), retry ? SysloadText::StatusReset() : reasons.at(0));
}

void TestSystemLoader::receptionGateAfterEachRun()
{
    QSignalSpy status(m_loader, &SystemLoader::statusChanged);
    QCOMPARE(m_loader->WriteRun(Only(8)), SystemLoader::RunEnd::Done);
    QCOMPARE(m_link->awaitingReply(), SerialLink::AwaitingReply);
    QCOMPARE(status.last().at(0).toString(), SysloadText::StatusReset());
    QVERIFY(!status.contains({SysloadText::ErrorCount(0)}));

    QCOMPARE(m_loader->ReadRun(Only(8)), SystemLoader::RunEnd::Done);
    QCOMPARE(m_link->awaitingReply(), 0);
    // Late bytes now wait in the port, in front of the next reply.
    m_port->arrive(Hex("F8 81"));
    QCOMPARE(m_port->waiting, Hex("F8 81"));
}

QTEST_GUILESS_MAIN(TestSystemLoader)
#include "tst_systemloader.moc"
