// lumbook against the simulated network through a real pseudo-terminal.
#include "busport.h"
#include "lumbookwindow.h"
#include "simharness.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

class TestLumbookE2e : public QObject
{
    Q_OBJECT
private slots:
    void writeReadBackAndCheck();
};

void TestLumbookE2e::writeReadBackAndCheck()
{
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    SerialBusPort port;
    QVERIFY2(port.open(sim.device()), qPrintable(port.errorText()));
    QTemporaryDir dir;
    LumbookWindow window(&port, {40ms, dir.filePath(u"umd_8x.txt"_s)});
    const auto choose = [&window](const char *list, const QString &text) {
        auto *combo = window.findChild<QComboBox *>(QString::fromLatin1(list));
        combo->setEditText(text);
        QTest::keyClick(combo, Qt::Key_Return);
    };
    const auto press = [&window](const char *button) {
        window.findChild<QPushButton *>(QString::fromLatin1(button))->click();
        QTRY_VERIFY_WITH_TIMEOUT(!window.engine().isActive(), 5000);
    };

    // Compose indicator 82, with bytes that need stuffing.
    choose("Combo_adr", u"82"_s);
    IndicatorImage &image = window.images().indicator(3);
    for (int reg = 0; reg < 5; ++reg)
        for (int b = 0; b < 8; ++b)
            image.cell(reg, b) = qint16((reg * 53 + b * 29 + 7) % 256);
    image.cell(0, 0) = 0x82;
    image.cell(2, 4) = 0xF0;
    const IndicatorImage composed = image;
    press("Command_s");
    const QList<bussim::Register> &registers = sim.network().registers(0x82);
    QCOMPARE(registers.size(), 9);
    for (int reg = 0; reg < 5; ++reg)
        for (int b = 0; b < 8; ++b)
            QCOMPARE(int(registers[reg][size_t(b)]), int(composed.cell(reg, b)));
    QVERIFY(sim.network().registers(0x80).at(0) == bussim::Register{}); // nothing elsewhere

    image = IndicatorImage();
    press("Command_l");
    QVERIFY(image == composed); // the key task's second byte D2 needs no normalising

    choose("Combo_d", u"действие 3"_s);
    window.findChild<QPushButton *>(u"Command_prov"_s)->click();
    QTRY_VERIFY(sim.events().contains(u"82: task 03 run"_s));
    QCOMPARE(sim.requests().last(), QByteArray::fromHex("F0820AD0035F"));
}

QTEST_MAIN(TestLumbookE2e)
#include "tst_lumbook_e2e.moc"
