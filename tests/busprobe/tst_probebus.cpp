// The tester against the simulated network through a real pseudo-terminal:
// the window opens its own port, as it does for an installer.
#include "busport.h"
#include "probewindow.h"

#include "simharness.h"
#include "testbytes.h"
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace std::chrono_literals;
using bussim::Fault;

namespace {

const QString Cleared = u"Статус:"_qs + QString(66, u' ');

class Probe
{
public:
    explicit Probe(SimHarness &sim) : m_window(Options(sim)) {}

    static ProbeOptions Options(SimHarness &sim)
    {
        qputenv(SerialBusPort::DeviceVariable, sim.device().toLocal8Bit());
        ProbeOptions options;
        options.refreshDelay = 300ms; // the wait keeps its production unit
        // A Sunday, 21:07:45.
        options.clock = [] {
            return QDateTime(QDate(2024, 3, 3), QTime(21, 7, 45));
        };
        return options;
    }

    QComboBox *list(const QString &name) { return m_window.findChild<QComboBox *>(name); }
    void set(const QString &name, const QString &text) { list(name)->setEditText(text); }
    QString status() const { return m_window.findChild<QLabel *>(u"Label_s"_qs)->text(); }
    // The fields as the refresh leaves them: adrd, d0..d7, zone, status.
    QStringList fields()
    {
        QStringList texts{list(u"Combo_adrd"_qs)->currentText()};
        for (int k = 0; k < 8; ++k)
            texts.append(list(u"Combo_d%1"_qs.arg(k))->currentText());
        texts << list(u"Combo_zona"_qs)->currentText() << list(u"Combo_stat"_qs)->currentText();
        return texts;
    }
    void send() { m_window.findChild<QPushButton *>(u"Command1"_qs)->click(); }
    ProbeWindow &window() { return m_window; }

private:
    ProbeWindow m_window;
};

} // namespace

class TestProbeBus : public QObject
{
    Q_OBJECT
private slots:
    void requestsOnTheWire();
    void verdicts_data();
    void verdicts();
};

void TestProbeBus::requestsOnTheWire()
{
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    Probe probe(sim);

    probe.set(u"Combo_adr"_qs, u"говорилка 9С"_qs);
    probe.send();
    QCOMPARE(sim.requests().last(), Hex("F0 9C 01 9D"));
    QCOMPARE(probe.status(), u"Статус:  ОК"_qs);

    // A data byte F0 is stuffed.
    probe.set(u"Combo_adr"_qs, u"плата 3"_qs);
    probe.set(u"Combo_koman"_qs, u"запись 1 яч памяти"_qs);
    probe.set(u"Combo_adrd"_qs, u"10"_qs);
    probe.set(u"Combo_d0"_qs, u"F0"_qs);
    probe.send();
    QCOMPARE(sim.requests().last(), Hex("F0 03 02 10 F0 11 16"));
    QCOMPARE(sim.network().memory(0x03)[0x10], 0xF0);
    QCOMPARE(probe.status(), u"Статус:  ОК"_qs);

    // The full synchronisation goes to 10, which nobody answers; the status
    // and zone the user chose come back in the fields after the refresh.
    probe.set(u"Combo_koman"_qs, u"синхронизация полная"_qs);
    probe.set(u"Combo_zona"_qs, u"02"_qs);
    probe.set(u"Combo_stat"_qs, u"01"_qs);
    probe.send();
    QCOMPARE(sim.requests().last(), Hex("F0 10 06 FF 06 21 07 45 01 02 00 00 8B"));
    QCOMPARE(probe.status(), u"Статус:  нет ответа"_qs);
    QTRY_COMPARE(probe.status(), Cleared);
    QCOMPARE(probe.fields().mid(9), (QStringList{u"2"_qs, u"1"_qs}));
    QCOMPARE(sim.requests().size(), 3);
}

void TestProbeBus::verdicts_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("requests");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("takenOver");

    using K = Fault::Kind;
    QTest::newRow("good reply") << int(K::Delay) << 0 << 1 << u"Статус:  ОК"_qs << true;
    QTest::newRow("foreign traffic, then a good reply")
        << int(K::Foreign) << 0 << 2 << u"Статус:  ОК"_qs << true;
    QTest::newRow("silence") << int(K::Silent) << 0 << 1 << u"Статус:  нет ответа"_qs << false;
    QTest::newRow("wrong checksum")
        << int(K::BadChecksum) << 0 << 1 << u"Статус: контрольная сумма не совпала "_qs << false;
    QTest::newRow("reply from another address")
        << int(K::OtherAddress) << 0 << 1 << u"Статус:  нет ответа"_qs << false;
    QTest::newRow("unknown reply code")
        << int(K::ReplyCode) << 0x06 << 1 << u"Статус: неизвестная ответная команда"_qs << false;
}

// Eight cells read from board 02 at cell 40 under each of the simulator's
// faults: the verdict, and the fields two seconds later.
void TestProbeBus::verdicts()
{
    QFETCH(int, kind);
    QFETCH(int, value);
    QFETCH(int, requests);
    QFETCH(QString, status);
    QFETCH(bool, takenOver);
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    for (int k = 0; k < 8; ++k)
        sim.network().memory(0x02)[static_cast<std::size_t>(0x40 + k)] = quint8(k + 1);
    sim.setFault(0x02, Fault{static_cast<Fault::Kind>(kind), value, 30, 1});
    Probe probe(sim);
    probe.set(u"Combo_adr"_qs, u"плата 2"_qs);
    probe.set(u"Combo_koman"_qs, u"читать 8 яч памяти"_qs);
    probe.set(u"Combo_adrd"_qs, u"40"_qs);

    probe.send();
    QCOMPARE(probe.status(), status);
    QCOMPARE(sim.requests(), QList<QByteArray>(requests, Hex("F0 02 03 40 45")));
    if (takenOver) {
        QByteArray stored;
        for (int slot = 1; slot <= 13; ++slot)
            stored.append(char(probe.window().exchange().link().replyBuffer().slot(slot)));
        QCOMPARE(stored, Hex("F8 02 03 40 01 02 03 04 05 06 07 08 69"));
    }
    if (QTest::currentDataTag() == QByteArray("wrong checksum"))
        QVERIFY(probe.window().grab().save(QDir::temp().filePath(u"busprobe-verdict.png"_qs)));

    probe.set(u"Combo_d0"_qs, u"77"_qs); // typed before the refresh: overwritten
    QTRY_COMPARE(probe.status(), Cleared);
    const QStringList expected =
        takenOver ? QStringList{u"40"_qs, u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs, u"5"_qs,
                                u"6"_qs,  u"7"_qs, u"8"_qs, u"0"_qs, u"0"_qs}
                  : QStringList{u"40"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"0"_qs,
                                u"0"_qs,  u"0"_qs, u"0"_qs, u"0"_qs, u"0"_qs};
    QCOMPARE(probe.fields(), expected);
}

QTEST_MAIN(TestProbeBus)
#include "tst_probebus.moc"
