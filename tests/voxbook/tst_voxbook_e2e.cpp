// voxbook against the simulated network through a real pseudo-terminal.
#include "busport.h"
#include "simharness.h"
#include "voxbookwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
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
    QTemporaryDir dir;
    VoxbookWindow window(&port, {40ms, 30ms, dir.filePath(u"umd_9C.txt"_s)});
    const auto click = [&window](const char *name) {
        window.findChild<QPushButton *>(QString::fromLatin1(name))->click();
    };
    const auto idle = [&window] {
        return window.engine().runMode() == 0;
    };

    // Compose: phrases chosen in the window, and bytes that need stuffing.
    QComboBox *first = window.findChild<QComboBox *>(u"Combo_d0"_s);
    first->setCurrentIndex(first->findText(u"сказать время"_s));
    emit first->activated(first->currentIndex());
    for (int row = 2; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            window.image().setCell(row, slot, qint16((row * 37 + slot * 11) % 256));
    window.image().setCell(9, 0, 0xF0);
    const AnnouncerImage composed = window.image();

    click("Command4");
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 5000);
    const QList<bussim::Register> &registers = sim.network().registers(0x9C);
    QCOMPARE(registers.size(), 24);
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            QCOMPARE(int(registers[row - 1][size_t(slot)]), int(composed.cell(row, slot)));

    // The answers to the write frames still wait in the port; the read run
    // must not take them for the first reply.
    window.image() = AnnouncerImage();
    click("Command3");
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 5000);
    QVERIFY(window.image() == composed);
    QCOMPARE(first->currentText(), u"сказать время"_s); // the view shows what was read

    QLineEdit *number = window.findChild<QComboBox *>(u"Combo_adr"_s)->lineEdit();
    number->setText(u"F0"_s);
    click("Command5");
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 5000);
    QVERIFY(sim.events().contains(u"9C: scenario F0 played"_s));
    QCOMPARE(window.findChild<QLabel *>(u"Label_s"_s)->text(), u"Статус:"_s + QString(32, u' '));
    QCOMPARE(sim.requests().count(QByteArray::fromHex("F09C019D")), 10);
}

QTEST_MAIN(TestVoxbookE2e)
#include "tst_voxbook_e2e.moc"
