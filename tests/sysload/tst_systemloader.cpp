// The runs' safeguards, on a port the test answers by hand: what never goes
// on the wire, a missing or failing port, a second press, closing during a
// run, a save that fails, and the reception gate each run leaves.
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
// Each controller acknowledges writes and holds n in every byte of register n.
class AnsweringPort : public FakeBusPort
{
public:
    std::function<void(int requests)> onRequest;
    int requests = 0;

    bool write(const QByteArray &bytes) override
    {
        if (!FakeBusPort::write(bytes))
            return false;
        ++requests;
        if (onRequest)
            onRequest(requests);
        const int address = quint8(bytes[1]), n = quint8(bytes[3]);
        FrameBuilder reply(ReplyStart, address,
                           bytes[2] == char(WriteRegisterBlock) ? ReplyDone : ReplyRegisterBlock);
        if (bytes[2] == char(ReadRegisterBlock))
            for (int j = 0; j < 9; ++j)
                reply.raw(n);
        QTimer::singleShot(0, this, [this, wire = *reply.finish()] { arrive(wire); });
        return true;
    }
};

bool Last(const QSignalSpy &spy, const QString &text, int fromEnd = 1)
{
    return spy.size() >= fromEnd && spy.at(spy.size() - fromEnd).at(0).toString() == text;
}
} // namespace

class TestSystemLoader : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void valueOutsideByteIsNeverSent();
    void closedPortSaysSo();
    void portFailingMidRunEndsIt();
    void secondPressIgnoredAndCloseEndsRun();
    void failedSave_data();
    void failedSave();
    void receptionGateAfterEachRun();

private:
    using RunEnd = SystemLoader::RunEnd;
    RunEnd read(int slot)
    {
        return m_loader->ReadRun([slot](int s) { return s == slot; });
    }
    RunEnd write(int slot)
    {
        return m_loader->WriteRun([slot](int s) { return s == slot; });
    }
    void useImagePath(const QString &path)
    {
        m_path = path;
        m_loader = std::make_unique<SystemLoader>(*m_link, *m_clock, m_image, path);
    }

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<AnsweringPort> m_port;
    std::unique_ptr<SerialLink> m_link;
    std::unique_ptr<WaitClock> m_clock;
    SystemImage m_image;
    std::unique_ptr<SystemLoader> m_loader;
};

void TestSystemLoader::init()
{
    m_loader.reset();
    m_image = SystemImage();
    m_port = std::make_unique<AnsweringPort>();
    m_link = std::make_unique<SerialLink>(m_port.get());
    m_clock = std::make_unique<WaitClock>(2ms, QStringLiteral("Timer1"));
    QFile::remove(m_dir.filePath(QStringLiteral("sysload.txt")));
    useImagePath(m_dir.filePath(QStringLiteral("sysload.txt")));
}

void TestSystemLoader::valueOutsideByteIsNeverSent()
{
    m_image.at(0, 5)[2] = 256;
    m_image.at(0, 7)[0] = -1;
    QSignalSpy status(m_loader.get(), &SystemLoader::statusChanged);
    QCOMPARE(write(0), RunEnd::Done);
    QCOMPARE(m_port->requests, 58);
    QVERIFY(!m_port->written.contains(Hex("F0 00 08 05")));
    QVERIFY(!m_port->written.contains(Hex("F0 00 08 07")));
    QCOMPARE(m_loader->errorCount(), 2);
    QVERIFY(status.contains({SysloadText::WriteLine(0, 5, false)}));
    QVERIFY(Last(status, SysloadText::ErrorCount(2), 2));
}

void TestSystemLoader::closedPortSaysSo()
{
    m_port->open = false;
    QSignalSpy status(m_loader.get(), &SystemLoader::statusChanged);
    QCOMPARE(read(0), RunEnd::PortClosed);
    QCOMPARE(write(0), RunEnd::PortClosed);
    QCOMPARE(status.size(), 2);
    QVERIFY(status.at(0).at(0).toString().contains(u"не открыт"_qs));
    QVERIFY(Last(status, status.at(0).at(0).toString()));
    QCOMPARE(m_loader->errorCount(), 0);
    QVERIFY(m_port->written.isEmpty() && !QFile::exists(m_path));
}

void TestSystemLoader::portFailingMidRunEndsIt()
{
    // The adapter is pulled during the third wait.
    m_port->onRequest = [this](int requests) {
        m_port->open = requests < 3;
    };
    QSignalSpy status(m_loader.get(), &SystemLoader::statusChanged);
    QCOMPARE(read(0), RunEnd::PortFailed);
    QCOMPARE(m_port->requests, 3);
    QCOMPARE(m_image.at(0, 1)[0], 1); // read before the failure: kept in memory
    QVERIFY(status.last().at(0).toString().contains(u"чтение прервано"_qs));
    QVERIFY(!QFile::exists(m_path) && !m_loader->isRunning());
}

void TestSystemLoader::secondPressIgnoredAndCloseEndsRun()
{
    QList<RunEnd> nested;
    m_port->onRequest = [&](int requests) {
        if (requests == 2)
            nested << write(0) << read(0);
        if (requests == 4) // the window closes
            QTimer::singleShot(0, m_loader.get(), &SystemLoader::stop);
    };
    QCOMPARE(read(0), RunEnd::Stopped);
    QCOMPARE(nested, QList({RunEnd::Busy, RunEnd::Busy}));
    QCOMPARE(m_port->requests, 4);
    QVERIFY(!QFile::exists(m_path)); // nothing is saved on closing
    QCOMPARE(read(0), RunEnd::Busy);
}

void TestSystemLoader::failedSave_data()
{
    QTest::addColumn<bool>("retry");
    QTest::newRow("folder made, saved again") << true;
    QTest::newRow("installer gives up") << false;
}

void TestSystemLoader::failedSave()
{
    QFETCH(bool, retry);
    const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    useImagePath(folder + QStringLiteral("/sysload.txt"));
    QStringList reasons;
    m_loader->setSaveFailureHandler([&](const QString &reason) {
        reasons << reason;
        return retry && QDir().mkpath(folder);
    });
    QSignalSpy status(m_loader.get(), &SystemLoader::statusChanged);

    QCOMPARE(read(9), RunEnd::Done);
    QCOMPARE(reasons.size(), 1);
    QVERIFY2(reasons.at(0).contains(u"sysload.txt"_qs), qPrintable(reasons.at(0)));
    QCOMPARE(m_port->requests, 9); // the network was read once
    QCOMPARE(m_image.at(9, 8)[7], 8);
    QCOMPARE(QFile::exists(m_path), retry);
    QVERIFY(Last(status, SysloadText::ErrorCount(0), 2));
    // Given up, the reason stays on the status line once the count has been shown.
    QVERIFY(Last(status, retry ? SysloadText::StatusReset() : reasons.at(0)));
}

void TestSystemLoader::receptionGateAfterEachRun()
{
    QSignalSpy status(m_loader.get(), &SystemLoader::statusChanged);
    QCOMPARE(write(8), RunEnd::Done);
    QCOMPARE(m_link->awaitingReply(), SerialLink::AwaitingReply);
    QVERIFY(Last(status, SysloadText::StatusReset()));
    QVERIFY(!status.contains({SysloadText::ErrorCount(0)}));

    QCOMPARE(read(8), RunEnd::Done);
    QCOMPARE(m_link->awaitingReply(), 0);
    m_port->arrive(Hex("F8 81")); // late bytes wait in the port for the next reply
    QCOMPARE(m_port->waiting, Hex("F8 81"));
}

QTEST_GUILESS_MAIN(TestSystemLoader)
#include "tst_systemloader.moc"
