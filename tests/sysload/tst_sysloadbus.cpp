// The window against the simulated network through a real pseudo-terminal:
// the read run's judgement of each reply, the write run's frames and
// acknowledgements, closing during a run, and a whole backup restored into a
// blank network.
#include "mainwindow.h"
#include "simharness.h"

#include "testbytes.h"
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using bussim::Fault;

namespace {
// Short enough for a whole 744-register run in the suite, long enough for
// an answer from the simulator in this same thread.
constexpr auto TestUnit = 30ms;

constexpr int Indicator80 = 8; // image slot of indicator 80
constexpr int Board01 = 1;

RegisterValues Values(std::initializer_list<int> bytes)
{
    RegisterValues values{};
    std::size_t j = 0;
    for (int b : bytes)
        values[j++] = static_cast<qint16>(b);
    return values;
}

RegisterValues Filled(int value)
{
    RegisterValues values;
    values.fill(static_cast<qint16>(value));
    return values;
}

// Every register of the twenty known controllers gets its own bytes, among
// them the start, reply and stuffing bytes; every presence marker is not 0.
void FillVaried(bussim::Network &network)
{
    quint32 seed = 12345;
    for (const ControllerSlot &slot : ControllerSlots()) {
        QList<bussim::Register> &registers = network.registers(slot.address);
        for (qsizetype n = 0; n < registers.size(); ++n)
            for (quint8 &byte : registers[n]) {
                seed = seed * 1103515245u + 12345u;
                const quint32 pick = (seed >> 16) % 8;
                byte = pick == 0 ? 0xF0 : pick == 1 ? 0x11 : pick == 2 ? 0xF8 : quint8(seed >> 8);
            }
        registers[0][0] = quint8(slot.address + 1);
    }
}
} // namespace

class TestSysloadBus : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void readReply_data();
    void readReply();
    void noBoxTickedStillWritesWholeFile();
    void writeRun_data();
    void writeRun();
    void closingDuringRunEndsIt();
    void backupAndRestoreWholeNetwork();

private:
    std::unique_ptr<MainWindow> makeWindow(SimHarness &sim);
    void click(MainWindow &window, const char *button)
    {
        QTest::mouseClick(window.findChild<QPushButton *>(QString::fromLatin1(button)),
                          Qt::LeftButton);
    }
    void tick(MainWindow &window, const char *box)
    {
        window.findChild<QCheckBox *>(QString::fromLatin1(box))->setChecked(true);
    }
    QString path() const { return m_dir.filePath(QStringLiteral("sysload.txt")); }

    QTemporaryDir m_dir;
    int m_messages = 0;
};

void TestSysloadBus::init()
{
    QFile::remove(path());
    m_messages = 0;
}

std::unique_ptr<MainWindow> TestSysloadBus::makeWindow(SimHarness &sim)
{
    SysloadOptions options;
    options.waitUnit = TestUnit;
    options.burstGap = 3ms;
    options.device = sim.device();
    options.imagePath = path();
    auto window = std::make_unique<MainWindow>(options);
    window->setMessageHook([this](QMessageBox &) {
        ++m_messages;
        return int(QMessageBox::Ok);
    });
    window->Form_Load();
    return window;
}

void TestSysloadBus::readReply_data()
{
    QTest::addColumn<RegisterValues>("held"); // indicator 80's register 0 in the network
    QTest::addColumn<std::optional<Fault>>("fault");
    QTest::addColumn<bool>("absent");
    QTest::addColumn<int>("errors");

    const RegisterValues some = Values({0x01, 0x11, 0xF8, 0x00, 0xF0, 0x7F, 0x80, 0xFF});
    const std::optional<Fault> none;
    QTest::newRow("all eight data bytes F0: a 21-byte reply") << Filled(0xF0) << none << false << 0;
    QTest::newRow("stuffed and plain bytes") << some << none << false << 0;
    QTest::newRow("reply for another register, rightly summed")
        << some << std::optional(Fault{Fault::Kind::OtherRegister, 0, 0, 1}) << false << 1;
    QTest::newRow("wrong checksum")
        << some << std::optional(Fault{Fault::Kind::BadChecksum, 0, 0, 1}) << false << 1;
    QTest::newRow("reply from another address")
        << some << std::optional(Fault{Fault::Kind::OtherAddress, 0, 0, 1}) << false << 1;
    QTest::newRow("other traffic first")
        << some << std::optional(Fault{Fault::Kind::Foreign, 0, 0, 1}) << false << 1;
    QTest::newRow("absent indicator: one error a register") << some << none << true << 9;
}

void TestSysloadBus::readReply()
{
    QFETCH(RegisterValues, held);
    QFETCH(std::optional<Fault>, fault);
    QFETCH(bool, absent);
    QFETCH(int, errors);

    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    for (int n = 0; n < 9; ++n)
        std::copy(held.begin(), held.end(), sim.network().registers(0x80)[n].begin());
    if (fault)
        sim.setFault(0x80, *fault);
    sim.network().setAbsent(0x80, absent);

    const auto window = makeWindow(sim);
    // What the image held before: a failed register keeps it, in memory and in the file.
    const RegisterValues before = Values({9, 8, 7, 6, 5, 4, 3, 2});
    for (int n = 0; n < 9; ++n)
        window->systemImage().at(Indicator80, n) = before;
    tick(*window, "adr_80");
    QSignalSpy status(&window->loader(), &SystemLoader::statusChanged);
    click(*window, "Command1");

    QCOMPARE(window->loader().errorCount(), errors);
    QCOMPARE(sim.requests().size(), 9);
    QCOMPARE(sim.requests().at(8), Hex("F0 80 07 08 8F"));
    const bool firstOk = errors == 0;
    QCOMPARE(window->systemImage().at(Indicator80, 0), firstOk ? held : before);
    QCOMPARE(window->systemImage().at(Indicator80, 8), absent ? before : held);
    QVERIFY(status.contains({SysloadText::ReadLine(0x80, 0, firstOk)}));
    QVERIFY(status.contains({SysloadText::ReadLine(0x80, 8, !absent)}));
    QCOMPARE(status.at(status.size() - 2).at(0).toString(), SysloadText::ErrorCount(errors));
    QCOMPARE(window->findChild<QLabel *>(u"Label2"_qs)->text(), SysloadText::StatusReset());

    SystemImage saved;
    QCOMPARE(LoadImageFile(saved, path()), QString());
    QVERIFY(saved == window->systemImage());
}

void TestSysloadBus::noBoxTickedStillWritesWholeFile()
{
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    const auto window = makeWindow(sim);
    QCOMPARE(m_messages, 1); // no file yet
    for (int slot = 0; slot < SlotCount; ++slot)
        window->systemImage().at(slot, 0) = Filled(slot + 1);
    QSignalSpy status(&window->loader(), &SystemLoader::statusChanged);
    click(*window, "Command1");

    QVERIFY(sim.requests().isEmpty());
    QCOMPARE(status.size(), 2);
    QCOMPARE(status.at(0).at(0).toString(), SysloadText::ErrorCount(0));
    QFile file(path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count("\r\n"), 6716);
    SystemImage saved;
    QCOMPARE(LoadImageFile(saved, path()), QString());
    for (int slot = 0; slot < SlotCount; ++slot) {
        QCOMPARE(saved.presenceMarker(slot), qint16(0));
        QCOMPARE(saved.at(slot, 0)[1], qint16(slot + 1)); // only the marker is cleared
    }
}

void TestSysloadBus::writeRun_data()
{
    QTest::addColumn<std::optional<Fault>>("fault");
    QTest::addColumn<int>("errors");

    QTest::newRow("acknowledged") << std::optional<Fault>() << 0;
    QTest::newRow("acknowledgement with a wrong checksum still counts")
        << std::optional(Fault{Fault::Kind::BadChecksum, 0, 0, -1}) << 0;
    QTest::newRow("no reply") << std::optional(Fault{Fault::Kind::Silent, 0, 0, 2}) << 2;
    QTest::newRow("reply code other than 01")
        << std::optional(Fault{Fault::Kind::ReplyCode, 0x02, 0, 1}) << 1;
    QTest::newRow("from another address")
        << std::optional(Fault{Fault::Kind::OtherAddress, 0, 0, 1}) << 1;
}

void TestSysloadBus::writeRun()
{
    QFETCH(std::optional<Fault>, fault);
    QFETCH(int, errors);

    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    if (fault)
        sim.setFault(0x01, *fault);
    const auto window = makeWindow(sim);
    window->systemImage().at(Board01, 0) = Values({0xF0, 0, 0, 0, 0, 0, 0, 0});
    window->systemImage().at(Board01, 59) = Values({0x11, 0xF0, 0xF0, 3, 4, 5, 6, 0xFF});
    const SystemImage before = window->systemImage();
    tick(*window, "adr_01");
    QSignalSpy status(&window->loader(), &SystemLoader::statusChanged);
    click(*window, "Command2");

    QCOMPARE(sim.requests().size(), 60);
    QCOMPARE(sim.requests().at(0), Hex("F0 01 08 00 F0 11 00 00 00 00 00 00 00 0A"));
    QCOMPARE(sim.network().registers(0x01)[59],
             (bussim::Register{0x11, 0xF0, 0xF0, 3, 4, 5, 6, 0xFF}));
    QCOMPARE(window->loader().errorCount(), errors);
    QVERIFY(window->systemImage() == before);
    QVERIFY(status.contains({SysloadText::WriteLine(0x01, 0, errors == 0)}));
    QCOMPARE(status.contains({SysloadText::ErrorCount(errors)}), errors != 0);
    QCOMPARE(window->findChild<QLabel *>(u"Label2"_qs)->text(), SysloadText::StatusReset());
    QVERIFY(!QFile::exists(path())); // the write run never touches the file
}

void TestSysloadBus::closingDuringRunEndsIt()
{
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    const auto window = makeWindow(sim);
    window->show();
    tick(*window, "adr_00");
    QTimer::singleShot(5 * TestUnit, window.get(), &QWidget::close);
    click(*window, "Command1");

    QVERIFY(!window->isVisible());
    QVERIFY(sim.requests().size() < 10);
    QVERIFY(!window->loader().isRunning());
    QVERIFY(!QFile::exists(path()));
    const qsizetype sent = sim.requests().size();
    click(*window, "Command2"); // refused once the window has closed
    QTest::qWait(50);
    QCOMPARE(sim.requests().size(), sent);
}

void TestSysloadBus::backupAndRestoreWholeNetwork()
{
    SimHarness house;
    QVERIFY2(house.ok(), qPrintable(house.error()));
    FillVaried(house.network());
    {
        const auto window = makeWindow(house);
        for (const ControllerSlot &slot : ControllerSlots())
            tick(*window, slot.checkBox);
        QElapsedTimer clock;
        clock.start();
        click(*window, "Command1");
        qInfo("read run over 744 registers at %lld ms a unit: %lld ms", qint64(TestUnit.count()),
              clock.elapsed());
        QCOMPARE(house.requests().size(), TotalRegisters);
        QCOMPARE(window->loader().errorCount(), 0);
    }

    SimHarness blank;
    QVERIFY2(blank.ok(), qPrintable(blank.error()));
    const auto window = makeWindow(blank);
    QCOMPARE(m_messages, 1); // only the first start found no file
    for (QCheckBox *box : window->findChildren<QCheckBox *>())
        QVERIFY2(box->isChecked(), qPrintable(box->objectName()));
    click(*window, "Command2");
    QCOMPARE(blank.requests().size(), TotalRegisters);
    QCOMPARE(window->loader().errorCount(), 0);
    QVERIFY(blank.network().sameContents(house.network()));
}

QTEST_MAIN(TestSysloadBus)
#include "tst_sysloadbus.moc"
