// voxbook against the simulated network through a real pseudo-terminal.
#include "busport.h"
#include "simharness.h"
#include "voxbookwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

class TestVoxbookE2e : public QObject
{
    Q_OBJECT
private slots:
    void writeReadBackAndPlay();
    void portVanishes_data();
    void portVanishes();
};

void TestVoxbookE2e::writeReadBackAndPlay()
{
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    SerialBusPort port;
    QVERIFY2(port.open(sim.device()), qPrintable(port.errorText()));
    VoxbookWindow window(&port, {100ms, 100ms, QString()});
    const auto *status = window.findChild<QLabel *>(u"Label_s"_s);

    // Compose: codes within the vocabulary and beyond, and bytes that need stuffing.
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            window.image().setCell(row, slot, qint16((row * 37 + slot * 11) % 256));
    window.image().setCell(1, 0, 0x0F); // "сказать время"
    window.image().setCell(9, 0, 0xF0);
    const AnnouncerImage composed = window.image();

    window.findChild<QPushButton *>(u"Command4"_s)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.engine().isActive(), 5000);
    QCOMPARE(status->text(), u"Статус:"_s + QString(27, u' ')); // every register acknowledged
    const QList<bussim::Register> &registers = sim.network().registers(0x9C);
    QCOMPARE(registers.size(), 24);
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            QCOMPARE(int(registers[row - 1][size_t(slot)]), int(composed.cell(row, slot)));

    window.image() = AnnouncerImage();
    window.findChild<QPushButton *>(u"Command3"_s)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.engine().isActive(), 5000);
    QVERIFY(window.image() == composed);
    QCOMPARE(window.findChild<QComboBox *>(u"Combo_d0"_s)->currentText(), u"сказать время"_s);

    window.findChild<QComboBox *>(u"Combo_adr"_s)->setEditText(u"F0"_s);
    window.findChild<QPushButton *>(u"Command5"_s)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.engine().isActive(), 5000);
    QVERIFY(sim.events().contains(u"9C: scenario F0 played"_s));
    QCOMPARE(sim.requests().count(QByteArray::fromHex("F09C019D")), 10);
    QCOMPARE(status->text(), u"Статус:"_s + QString(32, u' ')); // every request answered

    QTest::qWait(300); // a pause: the last poll's answer is in the port when the next test starts
    sim.network().setAbsent(0x9C, true); // without the announcer the test says so
    window.findChild<QPushButton *>(u"Command5"_s)->click();
    QTRY_COMPARE_WITH_TIMEOUT(status->text(),
                              u"Статус: нет ответа на 10 из 10 запросов к контроллеру 9C"_s, 5000);
}

void TestVoxbookE2e::portVanishes_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("requests"); // the port vanishes during the last of them
    QTest::newRow("write run") << u"Command4"_s << 6;
    QTest::newRow("read run") << u"Command3"_s << 6;
    QTest::newRow("scenario test: play request and three polls") << u"Command5"_s << 4;
}

// The run ends at once with the port's failure on the status line; what the
// editor holds stays, and a later run says why it cannot start.
void TestVoxbookE2e::portVanishes()
{
    QFETCH(QString, button);
    QFETCH(int, requests);
    auto sim = std::make_unique<SimHarness>();
    QVERIFY2(sim->ok(), qPrintable(sim->error()));
    QList<bussim::Register> registers = sim->network().registers(0x9C);
    for (int reg = 0; reg < 24; ++reg)
        for (int slot = 0; slot < 8; ++slot)
            registers[reg][size_t(slot)] = quint8(reg * 8 + slot + 1);
    sim->network().registers(0x9C) = registers;
    const QString device = sim->device();
    SerialBusPort port;
    QVERIFY2(port.open(device), qPrintable(port.errorText()));
    VoxbookWindow window(&port, {40ms, 30ms, QString()});
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            window.image().setCell(row, slot, qint16(0xF0 - row));
    const AnnouncerImage composed = window.image();
    AnnouncerImage expected = composed;
    // Each register the run reports as read must be in memory; a reply that
    // a loaded machine judged too late is reported otherwise and not stored.
    connect(&window.engine(), &RegisterTransfer::statusChanged, this, [&](const QString &text) {
        if (const int row = text.section(u"in--"_s, 1).toInt(); row > 0)
            for (int slot = 0; slot < 8; ++slot)
                expected.setCell(row, slot, qint16(registers[row - 1][size_t(slot)]));
    });
    PullAdapterAt(sim, requests, 0x9C, &window);

    window.findChild<QPushButton *>(button)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!sim, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!window.engine().isActive(), 5000);
    QVERIFY(!window.engine().Timer1().isActive() && !window.engine().Timer2().isActive());
    QCOMPARE(window.engine().Timer1().interval(), 40); // the scenario test's 1.5 s is undone
    const auto *status = window.findChild<QLabel *>(u"Label_s"_s);
    const QString failed = u"Порт %1 отказал и закрыт: устройство отключено"_s.arg(device);
    QCOMPARE(status->text(), u"Статус: обмен прерван: "_s + failed);
    QVERIFY(window.image() == expected);
    QCOMPARE(expected == composed, button != u"Command3"_s); // a read run read some first

    window.findChild<QPushButton *>(u"Command4"_s)->click();
    QCOMPARE(status->text(), u"Статус: запись в контроллер не начата: "_s + failed);
}

QTEST_MAIN(TestVoxbookE2e)
#include "tst_voxbook_e2e.moc"
