// lumbook against the simulated network through a real pseudo-terminal.
#include "busport.h"
#include "lumbookwindow.h"
#include "simharness.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

class TestLumbookE2e : public QObject
{
    Q_OBJECT
private slots:
    void writeReadBackAndCheck();
    void portVanishes_data();
    void portVanishes();
};

void TestLumbookE2e::writeReadBackAndCheck()
{
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    SerialBusPort port;
    QVERIFY2(port.open(sim.device()), qPrintable(port.errorText()));
    QTemporaryDir dir;
    LumbookWindow window(&port, {100ms, dir.filePath(u"umd_8x.txt"_s)});
    const auto *status = window.findChild<QLabel *>(u"Label_s"_s);
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

    sim.network().setAbsent(0x84, true); // an answer to the task check may still wait
    choose("Combo_adr", u"84"_s);
    press("Command_s");
    QCOMPARE(status->text(), u"Статус: не подтверждено 5 из 5, контроллер 84 не отвечает"_s);
}

void TestLumbookE2e::portVanishes_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("requests"); // the port vanishes during the last of them
    QTest::newRow("write run") << u"Command_s"_s << 3;
    QTest::newRow("read run") << u"Command_l"_s << 4;
}

// The run ends at once with the port's failure on the status line; the
// indicator's image keeps what it held and what was read, and a later run
// says why it cannot start.
void TestLumbookE2e::portVanishes()
{
    QFETCH(QString, button);
    QFETCH(int, requests);
    auto sim = std::make_unique<SimHarness>();
    QVERIFY2(sim->ok(), qPrintable(sim->error()));
    const QString device = sim->device();
    SerialBusPort port;
    QVERIFY2(port.open(device), qPrintable(port.errorText()));
    QTemporaryDir dir;
    LumbookWindow window(&port, {40ms, dir.filePath(u"umd_8x.txt"_s)});
    auto *adr = window.findChild<QComboBox *>(u"Combo_adr"_s);
    adr->setEditText(u"82"_s);
    QTest::keyClick(adr, Qt::Key_Return);

    // Every byte a task slot may hold as it stands, so that the refresh at
    // the end of a read run changes nothing but the own address.
    IndicatorImage &image = window.images().indicator(3);
    QList<bussim::Register> registers = sim->network().registers(0x82);
    for (int reg = 0; reg < 5; ++reg)
        for (int b = 0; b < 8; ++b) {
            registers[reg][size_t(b)] = quint8(0x21 + 0x10 * reg + b);
            image.cell(reg, b) = 0x9A;
        }
    registers[0][0] = 0x82;
    image.cell(0, 0) = 0x82;
    sim->network().registers(0x82) = registers;
    const IndicatorImage composed = image;
    IndicatorImage expected = composed;
    // Each register the run reports as read must be in memory; a reply that
    // a loaded machine judged too late is reported otherwise and not stored.
    connect(&window.engine(), &RegisterTransfer::statusChanged, this, [&](const QString &text) {
        if (const int c = text.section(u"in--"_s, 1).toInt(); c > 0)
            for (int b = 0; b < 8; ++b)
                expected.cell(c - 1, b) = qint16(registers[c - 1][size_t(b)]);
    });
    PullAdapterAt(sim, requests, 0x82, &window);

    window.findChild<QPushButton *>(button)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!sim, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!window.engine().isActive(), 5000);
    QVERIFY(!window.engine().Timer1().isActive() && !window.engine().Timer2().isActive());
    const auto *status = window.findChild<QLabel *>(u"Label_s"_s);
    const QString failed = u"Порт %1 отказал и закрыт: устройство отключено"_s.arg(device);
    QCOMPARE(status->text(), u"Статус: обмен прерван: "_s + failed);
    QVERIFY(image == expected);
    QCOMPARE(expected == composed, button != u"Command_l"_s); // a read run read some first

    window.findChild<QPushButton *>(u"Command_s"_s)->click();
    QCOMPARE(status->text(), u"Статус: запись в контроллер не начата: "_s + failed);
}

QTEST_MAIN(TestLumbookE2e)
#include "tst_lumbook_e2e.moc"
