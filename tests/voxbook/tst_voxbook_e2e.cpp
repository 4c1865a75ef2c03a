// voxbook against the simulated network through a real pseudo-terminal.
#include "busport.h"
#include "simharness.h"
#include "voxbookwindow.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

class TestVoxbookE2e : public QObject
{
    Q_OBJECT
private slots:
    void writeReadBackAndPlay();
};

void TestVoxbookE2e::writeReadBackAndPlay()
{
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    SerialBusPort port;
    QVERIFY2(port.open(sim.device()), qPrintable(port.errorText()));
    VoxbookWindow window(&port, {40ms, 30ms, QString()});

    // Compose: codes within the vocabulary and beyond, and bytes that need stuffing.
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            window.image().setCell(row, slot, qint16((row * 37 + slot * 11) % 256));
    window.image().setCell(1, 0, 0x0F); // "сказать время"
    window.image().setCell(9, 0, 0xF0);
    const AnnouncerImage composed = window.image();

    window.findChild<QPushButton *>(u"Command4"_s)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.engine().isActive(), 5000);
    const QList<bussim::Register> &registers = sim.network().registers(0x9C);
    QCOMPARE(registers.size(), 24);
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            QCOMPARE(int(registers[row - 1][size_t(slot)]), int(composed.cell(row, slot)));

    // The answers to the write frames still wait in the port; the read run
    // must not take them for the first reply.
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
}

QTEST_MAIN(TestVoxbookE2e)
#include "tst_voxbook_e2e.moc"
