// The tester's window driven by objectName and real keys, on a port the test
// plays by hand or on a real pseudo-terminal against the simulated network.
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

// The production wait; the clock stands at 21:07:45 on a Sunday and moves a
// second at each reading.
ProbeOptions Options(BusPort *port = nullptr)
{
    ProbeOptions options{port};
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
    // Every entry of the two lists as the installer reads it, and the address
    // each controller text stands for; only an entry's exact text counts.
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
        QTest::addColumn<QStringList>("steps"); // picks, and a press (see typing.h)
        QTest::addColumn<QString>("state"); // address command enabled|caption under the data row
        const QString none(53, u' '), data = u"данные"_qs + QString(39, u' ');
        const QString action = u"------действие----------"_qs + QString(21, u' ');
        const auto command = [](const QString &text, const QString &state) {
            QTest::newRow(text.toUtf8().constData())
                << QStringList{u">Combo_adr=плата 5"_qs, u">Combo_koman="_qs + text} << state;
        };
        command(u"опрос наличия"_qs, u"05 01 00000000000|"_qs + none);
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
        const QStringList toSync{u">Combo_adr=говорилка 9С"_qs, u">Combo_koman=действие"_qs,
                                 u">Combo_koman=синхрон. стат. и зоны"_qs,
                                 u">Combo_koman=запись 1 яч памяти"_qs};
        QTest::newRow("one-cell write after a synchronisation")
            << toSync << u"10 02 11000000000|"_qs + action;
        QTest::newRow("and a press")
            << toSync + QStringList{u"Command1"_qs} << u"9c 02 11000000000|"_qs + data;
        QTest::newRow("a controller typed runs no handler")
            << QStringList{u"Combo_adr=плата 5"_qs, u">Combo_koman=действие"_qs}
            << u"00 0a 01100000000|"_qs + action;
        QTest::newRow("controller picked after a synchronisation")
            << QStringList{u">Combo_koman=синхронизация полная"_qs, u">Combo_adr=плата 3"_qs}
            << u"03 06 00000000011|"_qs + none;
    }

    void picks()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, state);
        FakeBusPort port;
        Probe window(Options(&port));
        window.show();
        TypeSteps(&window, steps);
        QCOMPARE(u"%1 %2 %3|%4"_qs.arg(window.targetAddress(), 2, 16, QChar(u'0'))
                     .arg(window.commandCode(), 2, 16, QChar(u'0'))
                     .arg(window.fields(true), window.findChild<QLabel *>(u"Label_d"_qs)->text()),
                 state);
    }

    void exchanges_data()
    {
        QTest::addColumn<QStringList>("steps"); // typed (see typing.h), then the send pressed
        QTest::addColumn<Fault>("fault");       // spoils the first reply of boards 00 and 02
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("status");   // <port> stands for the device
        QTest::addColumn<QString>("fields");   // after the refresh, when one is due
        QTest::addColumn<QByteArray>("reply"); // of a played port to every request; none: the bus
        QTest::addColumn<int>("pulled");       // the adapter is pulled on this request
        const auto row = [](const char *name, const QStringList &steps, const Fault &fault,
                            const QByteArray &wire, const QString &status, const QString &fields,
                            const QByteArray &reply = {}, int pulled = 0) {
            QTest::newRow(name) << steps << fault << wire << status << fields << reply << pulled;
        };
        const Fault none{K::Delay, 0};
        const QStringList read8{u"Combo_adr=плата 2"_qs, u">Combo_koman=читать 8 яч памяти"_qs,
                                u"Combo_adrd=40"_qs};
        const QString write1 = u">Combo_koman=запись 1 яч памяти"_qs;
        const QByteArray request = Hex("F0 02 03 40 45");
        const QString read = u"40 1 2 3 F0 5 6 7 8 0 0"_qs, unread = u"40 0 0 0 0 0 0 0 0 0 0"_qs;
        const QString zeros = u"0 0 0 0 0 0 0 0 0 0 0"_qs;
        row("stuffed write",
            {u"Combo_adr=плата 3"_qs, write1, u"Combo_adrd=10"_qs, u"Combo_d0=F0"_qs}, none,
            Hex("F0 03 02 10 F0 11 16"), Ok, u"10 F0 0 0 0 0 0 0 0 0 0"_qs);
        row("full synchronisation, which nobody answers",
            {u">Combo_koman=синхронизация полная"_qs, u"Combo_zona=02"_qs, u"Combo_stat=01"_qs},
            none, Hex("F0 10 06 FF 06 21 07 45 01 02 00 00 8B"), NoReply,
            u"0 0 0 0 0 0 0 0 0 2 1"_qs);
        // The good reply carries a data byte F0 (cell 43).
        row("foreign traffic, then a good reply", read8, {K::Foreign}, request + request, Ok, read);
        row("wrong checksum", read8, {K::BadChecksum}, request,
            u"Статус: контрольная сумма не совпала "_qs, unread);
        row("unknown reply code", read8, {K::ReplyCode, 0x06}, request,
            u"Статус: неизвестная ответная команда"_qs, unread);
        row("adapter pulled during a repetition after foreign traffic", read8, {K::Foreign},
            request + request, u"Статус: Порт <port> отказал и закрыт: устройство отключено"_qs,
            u"40 00 00 00 00 00 00 00 00 00 00"_qs, {}, 2);
        row("sent data byte empty", {write1, u"Combo_d0="_qs}, none, {},
            u"Статус: поле «данные 0» пусто"_qs, u"00  00 00 00 00 00 00 00 00 00"_qs);
        row("sent status out of range",
            {u">Combo_koman=синхрон. стат. и зоны"_qs, u"Combo_stat=zz"_qs}, none, {},
            u"Статус: в поле «статус» не байт 00..FF"_qs, u"00 00 00 00 00 00 00 00 00 00 zz"_qs);
        row("presence poll; fields it does not send never block", // "zz" reads 473 hex
            {u">Combo_koman=запись 8 яч памяти"_qs, u"Combo_d5=zz"_qs, u"Combo_d6="_qs,
             u"Combo_koman=опрос наличия"_qs},
            none, Hex("F0 00 01 01"), Ok, u"0 0 0 0 0 0 473 0 0 0 0"_qs);
        // Each repetition of a full synchronisation reads the clock afresh.
        row("foreign traffic at every attempt", {u"Combo_koman=синхронизация полная"_qs}, none,
            Hex("F0 10 06 FF 06 21 07 45 00 00 00 00 88 F0 10 06 FF 06 21 07 46 00 00 00 00 89"
                "F0 10 06 FF 06 21 07 47 00 00 00 00 8A"),
            u"Статус: шина занята другим обменом"_qs, zeros, Hex("55 AA 55"));
        row("a reply from 10 keeps zone and status",
            {u">Combo_koman=читать 1 яч памяти"_qs, u"Combo_adrd=401"_qs,
             u">Combo_koman=синхрон. стат. и зоны"_qs, u"Combo_zona=0A"_qs, u"Combo_stat=FF0"_qs},
            none, Hex("F0 10 02 0A FF 1B"), Ok, u"40 0 0 0 0 0 0 0 0 A FF"_qs, Hex("F8 10 01 11"));
        // A lower-case letter is worth its code less 55: b is 2B, and a4 no byte.
        row("Latin C in the announcer; lower-case b and a, moved on from by Tab",
            {u"Combo_adr=говорилка 9C\t"_qs, write1, u"Combo_adrd=b\t"_qs, u"Combo_d0=a\t"_qs},
            none, Hex("F0 00 02 2B 2A 57"), Ok, u"2B 2A 0 0 0 0 0 0 0 0 0"_qs);
        row("lower-case a4, ended by Enter", {write1, u"Combo_d0=a4\n"_qs}, none, {},
            u"Статус: в поле «данные 0» не байт 00..FF"_qs, u"00 a4 00 00 00 00 00 00 00 00 00"_qs);
        row("a capital К, a command cut short",
            {u"Combo_adr=Клавиши 90\t"_qs, u"Combo_koman=читать 1\n"_qs}, none, Hex("F0 00 01 01"),
            Ok, zeros);
        // The reply's quiet time ends past the wait.
        row("0G, the reply 50 ms late",
            {u">Combo_koman=читать 1 яч памяти"_qs, u"Combo_adrd=0G"_qs}, {K::Delay, 50},
            Hex("F0 00 04 10 14"), Ok, u"10 0 0 0 0 0 0 0 0 0 0"_qs);
        row("announcer as listed", {u"Combo_adr=говорилка 9С\n"_qs}, none, Hex("F0 9C 01 9D"), Ok,
            zeros);
    }

    // One exchange typed with real keys, at the production wait, on the
    // simulated bus (whose port closes a burst after a quiet 60 ms) or on a
    // played port. Each list keeps exactly what was typed, the send reads it,
    // and the reply is judged on every byte received. Two seconds later the
    // status line is cleared and all eleven fields are rewritten without
    // leading zeros; after a port failure nothing is refreshed, and a later
    // press says why nothing is sent.
    void exchanges()
    {
        QFETCH(QStringList, steps);
        QFETCH(Fault, fault);
        QFETCH(QByteArray, wire);
        QFETCH(QString, status);
        QFETCH(QString, fields);
        QFETCH(QByteArray, reply);
        QFETCH(int, pulled);
        auto sim = std::make_unique<SimHarness>();
        QVERIFY2(sim->ok(), qPrintable(sim->error()));
        for (int k = 0; k < 8; ++k) // 1 2 3 F0 5 6 7 8 from cell 40 on
            sim->network().memory(0x02)[size_t(0x40 + k)] = k == 3 ? 0xF0 : quint8(k + 1);
        fault.count = 1;
        sim->setFault(0x00, fault);
        sim->setFault(0x02, fault);
        status.replace(u"<port>"_qs, sim->device());
        BusPort bus;
        QVERIFY2(bus.open(sim->device()), qPrintable(bus.errorText()));
        bus.setBurstGap(60ms);
        FakeBusPort port; // answers every request with `reply` while the tester waits
        port.onWrite = [&](const QByteArray &) {
            QTimer::singleShot(0, &port, [&] { port.arrive(reply); });
        };
        ProbeOptions options = Options(reply.isEmpty() ? static_cast<BusPort *>(&bus) : &port);
        options.attemptLimit = 3;
        Probe window(options);
        QByteArray sent;
        QObject::connect(&sim->server(), &bussim::PtyServer::requestReceived, &window,
                         [&sent](const QByteArray &bytes) { sent += bytes; });
        QString repeated; // the status line while the request goes again
        QObject::connect(&window.exchange(), &ProbeExchange::statusChanged, &window,
                         [&repeated](const QString &text) { repeated = text; });
        if (pulled > 0)
            PullAdapterAt(sim, pulled, 0x02, &window);
        auto *timer1 = window.findChild<QTimer *>(u"Timer1"_qs);
        QCOMPARE(timer1->interval(), 2000);
        QCOMPARE(options.waitUnit, 100ms);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        TypeSteps(&window, steps);
        for (const TypedStep step : steps)
            if (!step.pick)
                QCOMPARE(window.findChild<QComboBox *>(step.name)->currentText(), step.text);
        QTest::mouseClick(window.findChild<QPushButton *>(u"Command1"_qs), Qt::LeftButton);
        QCOMPARE(reply.isEmpty() ? sent : port.written, wire);
        QCOMPARE(window.status(), status);
        const bool foreign = QByteArray(QTest::currentDataTag()).contains("foreign traffic");
        QCOMPARE(repeated, foreign ? u"Статус: запрос другой платке"_qs : QString());
        if (timer1->isActive()) {
            window.combo(u"d0"_qs)->setEditText(u"77"_qs); // typed before the refresh: overwritten
            timer1->setInterval(1);
            QTRY_COMPARE(window.status(), Cleared);
        }
        QCOMPARE(window.fields(), fields);
        if (pulled > 0) {
            window.Command1_Click();
            QCOMPARE(window.status(),
                     status.replace(u"Статус: "_qs, u"Статус: команда не подана: "_qs));
        }
    }

    // Reception stays open between exchanges: a late answer cut short is
    // stored after the verdict, and the next request drops it, so a silent
    // controller is still reported as silent.
    void halfFrameBetweenExchanges()
    {
        FakeBusPort port;
        Probe window(Options(&port));
        window.Command1_Click();
        port.arrive(Hex("F8 00 01"));
        window.Command1_Click();
        QCOMPARE(port.written, Hex("F0 00 01 01 F0 00 01 01"));
        QCOMPARE(window.status(), NoReply);
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

    // Said at the start and at every press; nothing is clipped meanwhile.
    void ownPortNotOpen()
    {
        BusPort port;
        port.open(u"/dev/umd-no-such-port"_qs);
        Probe window(Options(&port));
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
