// The tester's window driven by objectName: on a port the test plays by hand,
// and on its own port, a real pseudo-terminal, against the simulated network.
#include "busport.h"
#include "fakebusport.h"
#include "probewindow.h"

#include "simharness.h"
#include "testbytes.h"
#include "typing.h"
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using bussim::Fault;
using K = Fault::Kind;
Q_DECLARE_METATYPE(Fault)

namespace {

const QString Ok = u"Статус:  ОК"_qs, NoReply = u"Статус:  нет ответа"_qs;
const QString Cleared = u"Статус:"_qs + QString(66, u' ');
// The byte fields in the order a send reads them.
const QStringList FieldNames{u"adrd"_qs, u"d0"_qs, u"d1"_qs, u"d2"_qs,   u"d3"_qs,  u"d4"_qs,
                             u"d5"_qs,   u"d6"_qs, u"d7"_qs, u"zona"_qs, u"stat"_qs};

// Answers every request with `reply` while the tester waits.
struct AnsweringPort : FakeBusPort
{
    QByteArray reply;
    bool write(const QByteArray &bytes) override
    {
        QTimer::singleShot(0, this, [this] { arrive(reply); });
        return FakeBusPort::write(bytes);
    }
};

// A short wait on a fake port, the production one on the window's own port.
// The clock stands at 21:07:45 on a Sunday and moves a second at each reading.
ProbeOptions Options(BusPort *port = nullptr)
{
    ProbeOptions options{port, port ? 20ms : ProbeExchange::DefaultWaitUnit};
    options.clock = [second = 45]() mutable {
        return QDateTime(QDate(2024, 3, 3), QTime(21, 7, second++));
    };
    return options;
}

struct Probe : ProbeWindow
{
    using ProbeWindow::ProbeWindow;
    QComboBox *combo(const QString &name) { return findChild<QComboBox *>(u"Combo_"_qs + name); }
    QString status() { return findChild<QLabel *>(u"Label_s"_qs)->text(); }
    // Puts each text into the list named before it: picked, or typed before a press.
    void pick(const QStringList &texts, bool typed = false)
    {
        for (qsizetype i = 0; i + 1 < texts.size(); i += 2) {
            combo(texts[i])->setEditText(texts[i + 1]);
            if (!typed)
                emit combo(texts[i])->activated(0);
        }
    }
    QString fields(bool enabled = false) // the texts, or a 1 for each enabled field
    {
        QStringList shown;
        for (const QString &name : FieldNames)
            shown << (enabled ? QString::number(combo(name)->isEnabled())
                              : combo(name)->currentText());
        return shown.join(enabled ? u""_qs : u" "_qs);
    }
};

} // namespace

class TestProbeWindow : public QObject
{
    Q_OBJECT
private slots:
    // The lists in their order; a controller's address comes only from an
    // exact match, alphabet and case included.
    void lists()
    {
        QStringList addressed;
        for (const QString &text :
             ControllerTexts() + QStringList{u"плата 9"_qs, u"говорилка 9C"_qs, u"Клавиши 90"_qs})
            addressed << text + u'=' + QString::number(ControllerAddress(text), 16);
        QCOMPARE(addressed.join(u','),
                 u"плата 0=0,плата 1=1,плата 2=2,плата 3=3,плата 4=4,плата 5=5,плата 6=6,"
                 u"плата 7=7,индикатор 80=80,индикатор 81=81,индикатор 82=82,индикатор 83=83,"
                 u"клавиши 90=90,синхронизатор 98=98,говорилка 9\u0421=9c,телефон 9D=9d,"
                 u"плата 9=0,говорилка 9C=0,Клавиши 90=0"_qs);
        QCOMPARE(CommandTexts().join(u','),
                 u"опрос наличия,читать 1 яч памяти,запись 1 яч памяти,читать 8 яч памяти,"
                 u"запись 8 яч памяти,читать 8 яч регист,запись 8 яч регист,дополнительная,"
                 u"действие,запись 1 яч регистра,синхронизация полная,синхрон. стат. и зоны"_qs);
    }

    void picks_data()
    {
        QTest::addColumn<QStringList>("picked");
        QTest::addColumn<bool>("press");
        QTest::addColumn<QString>("state"); // address command enabled|caption under the data row
        const QString none(53, u' '), data = u"данные"_qs + QString(39, u' ');
        const QString action = u"------действие----------"_qs + QString(21, u' ');
        const auto command = [](const QString &text, const QString &state) {
            QTest::newRow(text.toUtf8().constData())
                << QStringList{u"adr"_qs, u"плата 5"_qs, u"koman"_qs, text} << false << state;
        };
        command(u"опрос наличия"_qs, u"05 01 00000000000|"_qs + none);
        command(u"читать 1 яч памяти "_qs, u"05 01 00000000000|"_qs + none);
        command(u"читать 1 яч памяти"_qs, u"05 04 10000000000|"_qs + data);
        command(u"запись 1 яч памяти"_qs, u"05 02 11000000000|"_qs + data);
        command(u"читать 8 яч памяти"_qs, u"05 03 10000000000|"_qs + none);
        command(u"запись 8 яч памяти"_qs, u"05 06 11111111100|"_qs + none);
        command(u"читать 8 яч регист"_qs, u"05 07 10000000000|"_qs + none);
        command(u"запись 8 яч регист"_qs, u"05 08 11111111100|"_qs + none);
        command(u"дополнительная"_qs,
                u"05 09 01100000000|команда    данные"_qs + QString(21, u' '));
        command(u"действие"_qs, u"05 0a 01100000000|"_qs + action);
        command(u"запись 1 яч регистра"_qs,
                u"05 0b 01110000000| адрес        номер         данные "_qs);
        command(u"синхронизация полная"_qs, u"10 06 00000000011|"_qs + none);
        command(u"синхрон. стат. и зоны"_qs, u"10 02 00000000011|"_qs);
        // After a synchronisation a one-cell command stays at 10 and keeps the
        // caption, until a controller is picked or a press reads the list again.
        const QStringList toSync{
            u"adr"_qs,   u"говорилка 9С"_qs,          u"koman"_qs, u"действие"_qs,
            u"koman"_qs, u"синхрон. стат. и зоны"_qs, u"koman"_qs, u"запись 1 яч памяти"_qs};
        QTest::newRow("one-cell write after a synchronisation")
            << toSync << false << u"10 02 11000000000|"_qs + action;
        QTest::newRow("and a press") << toSync << true << u"9c 02 11000000000|"_qs + data;
        QTest::newRow("controller picked after a synchronisation")
            << QStringList{u"koman"_qs, u"синхронизация полная"_qs, u"adr"_qs, u"плата 3"_qs}
            << false << u"03 06 00000000011|"_qs + none;
    }

    void picks()
    {
        QFETCH(QStringList, picked);
        QFETCH(bool, press);
        QFETCH(QString, state);
        FakeBusPort port;
        Probe window(Options(&port));
        window.pick(picked);
        if (press)
            window.Command1_Click();
        QCOMPARE(u"%1 %2 %3|%4"_qs.arg(window.targetAddress(), 2, 16, QChar(u'0'))
                     .arg(window.commandCode(), 2, 16, QChar(u'0'))
                     .arg(window.fields(true), window.findChild<QLabel *>(u"Label_d"_qs)->text()),
                 state);
    }

    void exchanges_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<Fault>("fault");      // spoils the first reply of board 02
        QTest::addColumn<QByteArray>("reply"); // of a played port, to every request
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("fields"); // after the refresh, when one is due
        const QStringList read8{u"adr"_qs,  u"плата 2"_qs, u"koman"_qs, u"читать 8 яч памяти"_qs,
                                u"adrd"_qs, u"40"_qs};
        const QByteArray request = Hex("F0 02 03 40 45"), none;
        const QString read = u"40 1 2 3 4 5 6 7 8 0 0"_qs, unread = u"40 0 0 0 0 0 0 0 0 0 0"_qs;
        QTest::newRow("stuffed write")
            << QStringList{u"adr"_qs,  u"плата 3"_qs, u"koman"_qs, u"запись 1 яч памяти"_qs,
                           u"adrd"_qs, u"10"_qs,      u"d0"_qs,    u"F0"_qs}
            << Fault{} << none << Hex("F0 03 02 10 F0 11 16") << Ok
            << u"10 F0 0 0 0 0 0 0 0 0 0"_qs;
        QTest::newRow("full synchronisation, which nobody answers")
            << QStringList{u"koman"_qs, u"синхронизация полная"_qs,
                           u"zona"_qs,  u"02"_qs,
                           u"stat"_qs,  u"01"_qs}
            << Fault{} << none << Hex("F0 10 06 FF 06 21 07 45 01 02 00 00 8B") << NoReply
            << u"0 0 0 0 0 0 0 0 0 2 1"_qs;
        QTest::newRow("foreign traffic, then a good reply")
            << read8 << Fault{K::Foreign} << none << request + request << Ok << read;
        QTest::newRow("silence") << read8 << Fault{K::Silent} << none << request << NoReply
                                 << unread;
        QTest::newRow("wrong checksum") << read8 << Fault{K::BadChecksum} << none << request
                                        << u"Статус: контрольная сумма не совпала "_qs << unread;
        QTest::newRow("reply from another address")
            << read8 << Fault{K::OtherAddress} << none << request << NoReply << unread;
        QTest::newRow("unknown reply code") << read8 << Fault{K::ReplyCode, 0x06} << none << request
                                            << u"Статус: неизвестная ответная команда"_qs << unread;
        QTest::newRow("sent data byte empty")
            << QStringList{u"koman"_qs, u"запись 1 яч памяти"_qs, u"d0"_qs, QString()} << Fault{}
            << none << none << u"Статус: поле «данные 0» пусто"_qs
            << u"00  00 00 00 00 00 00 00 00 00"_qs;
        QTest::newRow("sent status out of range")
            << QStringList{u"koman"_qs, u"синхрон. стат. и зоны"_qs, u"stat"_qs, u"zz"_qs}
            << Fault{} << none << none << u"Статус: в поле «статус» не байт 00..FF"_qs
            << u"00 00 00 00 00 00 00 00 00 00 zz"_qs;
        QTest::newRow("presence poll; fields it does not send never block") // "zz" reads 473 hex
            << QStringList{u"d5"_qs, u"zz"_qs, u"d6"_qs, QString()} << Fault{} << none
            << Hex("F0 00 01 01") << Ok << u"0 0 0 0 0 0 473 0 0 0 0"_qs;
        // Each repetition of a full synchronisation reads the clock afresh.
        QTest::newRow("foreign traffic at every attempt")
            << QStringList{u"koman"_qs, u"синхронизация полная"_qs} << Fault{} << Hex("55 AA 55")
            << Hex("F0 10 06 FF 06 21 07 45 00 00 00 00 88 F0 10 06 FF 06 21 07 46 00 00 00 00 89"
                   "F0 10 06 FF 06 21 07 47 00 00 00 00 8A")
            << u"Статус: шина занята другим обменом"_qs << u"0 0 0 0 0 0 0 0 0 0 0"_qs;
        QTest::newRow("a reply from 10 keeps zone and status")
            << QStringList{u"koman"_qs, u"синхрон. стат. и зоны"_qs,
                           u"adrd"_qs,  u"401"_qs,
                           u"zona"_qs,  u"0A"_qs,
                           u"stat"_qs,  u"FF0"_qs}
            << Fault{} << Hex("F8 10 01 11") << Hex("F0 10 02 0A FF 1B") << Ok
            << u"40 0 0 0 0 0 0 0 0 A FF"_qs;
    }

    // One exchange on the simulated bus through the window's own port, or on a
    // played port. Two seconds later the status line is cleared and all eleven
    // fields are rewritten without leading zeros.
    void exchanges()
    {
        QFETCH(QStringList, typed);
        QFETCH(Fault, fault);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, wire);
        QFETCH(QString, status);
        QFETCH(QString, fields);
        SimHarness sim;
        QVERIFY2(sim.ok(), qPrintable(sim.error()));
        for (int k = 0; k < 8; ++k)
            sim.network().memory(0x02)[static_cast<std::size_t>(0x40 + k)] = quint8(k + 1);
        fault.count = 1;
        sim.setFault(0x02, fault);
        qputenv(SerialBusPort::DeviceVariable, sim.device().toLocal8Bit());
        AnsweringPort port;
        port.reply = reply;
        ProbeOptions options = Options(reply.isEmpty() ? nullptr : &port);
        options.attemptLimit = 3;
        Probe window(options);
        auto *timer1 = window.findChild<QTimer *>(u"Timer1"_qs);
        QCOMPARE(timer1->interval(), 2000);
        window.pick(typed, true);
        window.Command1_Click();
        QCOMPARE(reply.isEmpty() ? sim.requests().join() : port.written, wire);
        QCOMPARE(window.status(), status);
        if (timer1->isActive()) {
            window.combo(u"d0"_qs)->setEditText(u"77"_qs); // typed before the refresh: overwritten
            timer1->setInterval(1);
            QTRY_COMPARE(window.status(), Cleared);
        }
        QCOMPARE(window.fields(), fields);
    }

    void typed_data()
    {
        QTest::addColumn<QStringList>("steps"); // then the send button, pressed
        QTest::addColumn<Fault>("fault");       // of board 00
        QTest::addColumn<QByteArray>("wire");
        const Fault none{K::Delay, 0}, lateQuiet{K::Delay, 50}; // quiet time ends past the wait
        QTest::newRow("5 and 1, moved on from by Tab")
            << QStringList{u">Combo_koman=запись 1 яч памяти"_qs, u"Combo_adrd=1\t"_qs,
                           u"Combo_d0=5\t"_qs}
            << none << Hex("F0 00 02 01 05 08");
        QTest::newRow("a capital К, a command cut short")
            << QStringList{u"Combo_adr=Клавиши 90\t"_qs, u"Combo_koman=читать 1\n"_qs} << none
            << Hex("F0 00 01 01");
        QTest::newRow("0G, the reply's quiet time past the wait")
            << QStringList{u">Combo_koman=читать 1 яч памяти"_qs, u"Combo_adrd=0G"_qs} << lateQuiet
            << Hex("F0 00 04 10 14");
        QTest::newRow("announcer with a Latin C")
            << QStringList{u"Combo_adr=говорилка 9C\n"_qs} << none << Hex("F0 00 01 01");
        QTest::newRow("announcer as listed")
            << QStringList{u"Combo_adr=говорилка 9С\n"_qs} << none << Hex("F0 9C 01 9D");
    }

    // Typed with real keys on the simulated bus, at the program's own wait,
    // with a quiet time that closes a burst only 40 ms after the wait: each
    // list keeps exactly what was typed, no handler runs for it, the send
    // reads it, and the reply is judged on every byte received.
    void typed()
    {
        QFETCH(QStringList, steps);
        QFETCH(Fault, fault);
        QFETCH(QByteArray, wire);
        SimHarness sim;
        QVERIFY2(sim.ok(), qPrintable(sim.error()));
        sim.setFault(0x00, fault);
        SerialBusPort port;
        QVERIFY2(port.open(sim.device()), qPrintable(port.errorText()));
        port.setBurstGap(60ms);
        Probe window({&port});
        QCOMPARE(ProbeOptions().waitUnit, 100ms);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        TypeSteps(&window, steps);
        for (const TypedStep step : steps)
            QCOMPARE(window.findChild<QComboBox *>(step.name)->currentText(), step.text);
        QCOMPARE(window.targetAddress(), 0x00);
        QTest::mouseClick(window.findChild<QPushButton *>(u"Command1"_qs), Qt::LeftButton);
        QCOMPARE(sim.requests().join(), wire);
        QCOMPARE(window.status(), Ok);
    }

    // A press during the wait is ignored; closing the window ends the wait
    // without a verdict and refuses later presses; so does destroying it.
    void pressAndCloseDuringWait()
    {
        FakeBusPort port;
        {
            Probe window(Options(&port));
            window.show();
            auto *button = window.findChild<QPushButton *>(u"Command1"_qs);
            QTimer::singleShot(5ms, button, &QPushButton::click);
            QTimer::singleShot(10ms, &window, &QWidget::close);
            button->click();
            QCOMPARE(window.status(), u"Статус:"_qs);
            window.Command1_Click();
            QCOMPARE(port.written, Hex("F0 00 01 01"));
        }
        auto *window = new Probe(Options(&port));
        QTimer::singleShot(5ms, window, [window] { delete window; });
        window->Command1_Click();
        QCOMPARE(port.written, Hex("F0 00 01 01 F0 00 01 01"));
    }

    void portVanishes_data()
    {
        QTest::addColumn<bool>("foreign"); // other traffic before every reply
        QTest::addColumn<int>("requests"); // the port vanishes in the wait for the last one
        QTest::newRow("during the wait") << false << 1;
        QTest::newRow("during a repetition after foreign traffic") << true << 2;
    }

    // The exchange ends with the port's failure and no refresh; the fields
    // keep what was typed, and a later press says why nothing is sent.
    void portVanishes()
    {
        QFETCH(bool, foreign);
        QFETCH(int, requests);
        auto sim = std::make_unique<SimHarness>();
        QVERIFY2(sim->ok(), qPrintable(sim->error()));
        if (foreign)
            sim->setFault(0x02, Fault{K::Foreign});
        const QString device = sim->device();
        qputenv(SerialBusPort::DeviceVariable, device.toLocal8Bit());
        ProbeOptions options = Options();
        options.attemptLimit = 3;
        Probe window(options);
        PullAdapterAt(sim, requests, 0x02, &window);
        window.pick({u"adr"_qs, u"плата 2"_qs, u"koman"_qs, u"читать 8 яч памяти"_qs, u"adrd"_qs,
                     u"4F"_qs, u"d3"_qs, u"F0"_qs},
                    true);
        window.Command1_Click();

        QVERIFY(!sim);
        const QString failed = u"Порт %1 отказал и закрыт: устройство отключено"_qs.arg(device);
        QCOMPARE(window.status(), u"Статус: "_qs + failed);
        QVERIFY(!window.exchange().isRunning());
        QVERIFY(!window.findChild<QTimer *>(u"Timer1"_qs)->isActive());
        QCOMPARE(window.fields(), u"4F 00 00 00 F0 00 00 00 00 00 00"_qs);
        QCOMPARE(window.values().data[3], 0xF0);
        window.Command1_Click();
        QCOMPARE(window.status(), u"Статус: команда не подана: "_qs + failed);
    }

    // Said at the start and at every press; nothing is clipped meanwhile.
    void ownPortNotOpen()
    {
        qputenv(SerialBusPort::DeviceVariable, "/dev/umd-no-such-port");
        Probe window(Options());
        window.show();
        const QString notOpen = u"Порт /dev/umd-no-such-port не открыт"_qs;
        QVERIFY2(window.status().startsWith(u"Статус: "_qs + notOpen), qPrintable(window.status()));
        window.Command1_Click();
        QVERIFY2(window.status().startsWith(u"Статус: команда не подана: "_qs + notOpen),
                 qPrintable(window.status()));
        for (QLabel *label : window.findChildren<QLabel *>())
            QVERIFY2(label->wordWrap() || label->fontMetrics().horizontalAdvance(
                                              label->text().trimmed()) <= label->width(),
                     qPrintable(label->objectName()));
    }
};

QTEST_MAIN(TestProbeWindow)
#include "tst_probewindow.moc"
