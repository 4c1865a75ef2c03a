// The tester's window driven by objectName on a port the test plays by hand.
#include "fakebusport.h"
#include "probetexts.h"
#include "probewindow.h"

#include "testbytes.h"
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace std::chrono_literals;

namespace {

// A port whose controller answers every request with the bytes of `reply`
// while the tester waits.
class AnsweringPort : public FakeBusPort
{
public:
    QByteArray reply;
    int requests = 0;
    bool write(const QByteArray &bytes) override
    {
        ++requests;
        if (!reply.isEmpty())
            QTimer::singleShot(0, this, [this] { arrive(reply); });
        return FakeBusPort::write(bytes);
    }
};

ProbeOptions Options(BusPort *port)
{
    ProbeOptions options;
    options.port = port;
    options.waitUnit = 20ms;
    options.refreshDelay = 40ms;
    return options;
}

} // namespace

class TestProbeWindow : public QObject
{
    Q_OBJECT
private slots:
    void startsAsDrawn();
    void syncPickKeepsSyncAddress();
    void sentFieldMustHoldAByte_data();
    void sentFieldMustHoldAByte();
    void busyBusIsCapped();
    void secondPressDuringWaitIsIgnored();
    void closingDuringWaitEndsCleanly();
    void closedPortIsReported();
    void refreshRewritesEveryField();

private:
    template <typename T> static T *Find(ProbeWindow &window, const char *name)
    {
        auto *widget = window.findChild<T *>(QString::fromLatin1(name));
        Q_ASSERT(widget);
        return widget;
    }
    static void Pick(ProbeWindow &window, const char *list, const QString &text)
    {
        auto *combo = Find<QComboBox>(window, list);
        const int index = combo->findText(text);
        QVERIFY(index >= 0);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    static QString Text(ProbeWindow &window, const char *name)
    {
        if (auto *label = window.findChild<QLabel *>(QString::fromLatin1(name)))
            return label->text();
        return Find<QComboBox>(window, name)->currentText();
    }
};

void TestProbeWindow::startsAsDrawn()
{
    FakeBusPort port;
    ProbeWindow window(Options(&port));
    window.show();
    const QString shot = QDir::temp().filePath(QStringLiteral("busprobe-window.png"));
    QVERIFY(window.grab().save(shot));
    QCOMPARE(window.objectName(), u"Form1"_qs);
    QCOMPARE(window.windowTitle(), ProbeTexts::WindowTitle);
    const auto Entries = [&window](const char *name) {
        auto *combo = Find<QComboBox>(window, name);
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts.append(combo->itemText(i));
        return texts;
    };
    // The announcer's entry ends in a Cyrillic Es, the telephone's in a Latin D.
    QCOMPARE(
        Entries("Combo_adr"),
        (QStringList{u"плата 0"_qs, u"плата 1"_qs, u"плата 2"_qs, u"плата 3"_qs, u"плата 4"_qs,
                     u"плата 5"_qs, u"плата 6"_qs, u"плата 7"_qs, u"индикатор 80"_qs,
                     u"индикатор 81"_qs, u"индикатор 82"_qs, u"индикатор 83"_qs, u"клавиши 90"_qs,
                     u"синхронизатор 98"_qs, u"говорилка 9\u0421"_qs, u"телефон 9D"_qs}));
    QCOMPARE(Entries("Combo_koman"),
             (QStringList{u"опрос наличия"_qs, u"читать 1 яч памяти"_qs, u"запись 1 яч памяти"_qs,
                          u"читать 8 яч памяти"_qs, u"запись 8 яч памяти"_qs,
                          u"читать 8 яч регист"_qs, u"запись 8 яч регист"_qs, u"дополнительная"_qs,
                          u"действие"_qs, u"запись 1 яч регистра"_qs, u"синхронизация полная"_qs,
                          u"синхрон. стат. и зоны"_qs}));
    QCOMPARE(Text(window, "Combo_adr"), u"плата 0"_qs);
    QCOMPARE(Text(window, "Combo_koman"), u"опрос наличия"_qs);
    for (const char *name : {"Combo_adrd", "Combo_d0", "Combo_d7", "Combo_zona", "Combo_stat"}) {
        auto *combo = Find<QComboBox>(window, name);
        QVERIFY2(!combo->isEnabled() && combo->isEditable(), name);
        QCOMPARE(combo->currentText(), u"00"_qs);
        QCOMPARE(combo->count(), 256);
        QCOMPARE(combo->itemText(255), u"FF"_qs);
    }
    QCOMPARE(Text(window, "Label_d"), QString());
    QCOMPARE(Text(window, "Label_s"), u"Статус:"_qs);
    QCOMPARE(Find<QPushButton>(window, "Command1")->text(), u"Подать команду"_qs);

    // Every label must show its whole text in the room it is given.
    for (QLabel *label : window.findChildren<QLabel *>()) {
        if (label->wordWrap() || label->text().trimmed().isEmpty())
            continue;
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text().trimmed()) <= label->width(),
                 qPrintable(label->objectName()));
    }
}

void TestProbeWindow::syncPickKeepsSyncAddress()
{
    AnsweringPort port;
    ProbeWindow window(Options(&port));
    Pick(window, "Combo_adr", u"говорилка 9С"_qs);
    QCOMPARE(window.targetAddress(), 0x9C);
    Pick(window, "Combo_koman", u"действие"_qs);
    QCOMPARE(window.commandCode(), 0x0A);
    QVERIFY(!Find<QComboBox>(window, "Combo_adrd")->isEnabled());
    QVERIFY(Find<QComboBox>(window, "Combo_d1")->isEnabled());
    QVERIFY(!Find<QComboBox>(window, "Combo_d2")->isEnabled());
    const QString actionCaption = Text(window, "Label_d");
    QCOMPARE(actionCaption, u"------действие----------"_qs + QString(21, u' '));

    Pick(window, "Combo_koman", u"синхрон. стат. и зоны"_qs);
    QCOMPARE(window.targetAddress(), SyncAddress);
    QCOMPARE(Text(window, "Label_d"), actionCaption);
    QVERIFY(Find<QComboBox>(window, "Combo_stat")->isEnabled());

    // No controller pick since: the one-cell write still aims at 10 and
    // leaves the caption alone, until the send takes the controller list again.
    Pick(window, "Combo_koman", u"запись 1 яч памяти"_qs);
    QCOMPARE(window.targetAddress(), SyncAddress);
    QCOMPARE(window.commandCode(), 0x02);
    QCOMPARE(Text(window, "Label_d"), actionCaption);
    window.Command1_Click();
    QVERIFY(port.written.startsWith(Hex("F0 9C 02")));
    QCOMPARE(Text(window, "Label_d"), u"данные"_qs + QString(39, u' '));

    Pick(window, "Combo_koman", u"синхронизация полная"_qs);
    QCOMPARE(Text(window, "Label_d"), QString(53, u' '));
    Pick(window, "Combo_adr", u"плата 3"_qs);
    QCOMPARE(window.targetAddress(), 0x03);
}

void TestProbeWindow::sentFieldMustHoldAByte_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("status"); // empty: the request goes out

    QTest::newRow("empty data byte of a cell write")
        << u"запись 1 яч памяти"_qs << u"Combo_d0"_qs << QString()
        << u"Статус: поле «данные 0» пусто"_qs;
    QTest::newRow("status of a synchronisation")
        << u"синхрон. стат. и зоны"_qs << u"Combo_stat"_qs << u"zz"_qs
        << u"Статус: в поле «статус» не байт 00..FF"_qs;
    QTest::newRow("a field the command does not send")
        << u"опрос наличия"_qs << u"Combo_d5"_qs << QString() << QString();
}

void TestProbeWindow::sentFieldMustHoldAByte()
{
    QFETCH(QString, command);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, status);
    FakeBusPort port;
    ProbeWindow window(Options(&port));
    Find<QComboBox>(window, "Combo_koman")->setEditText(command);
    window.findChild<QComboBox *>(field)->setEditText(text);
    window.Command1_Click();
    if (status.isEmpty()) {
        QVERIFY(!port.written.isEmpty());
        QCOMPARE(Text(window, "Label_s"), u"Статус:  нет ответа"_qs);
    } else {
        QCOMPARE(port.written, QByteArray());
        QCOMPARE(Text(window, "Label_s"), status);
        QCOMPARE(window.findChild<QComboBox *>(field)->currentText(), text); // left to correct
    }
}

void TestProbeWindow::busyBusIsCapped()
{
    AnsweringPort port;
    port.reply = Hex("55 AA 55");
    ProbeOptions options = Options(&port);
    options.attemptLimit = 3;
    // Each repetition of a full synchronisation reads the clock afresh.
    int second = 45;
    options.clock = [&second] {
        return QDateTime(QDate(2024, 3, 3), QTime(21, 7, second++));
    };
    ProbeWindow window(options);
    QStringList interim;
    connect(&window.exchange(), &ProbeExchange::statusChanged, this,
            [&](const QString &text) { interim.append(text); });
    Find<QComboBox>(window, "Combo_koman")->setEditText(u"синхронизация полная"_qs);
    window.Command1_Click();
    QCOMPARE(port.requests, 3);
    QCOMPARE(port.written, Hex("F0 10 06 FF 06 21 07 45 00 00 00 00 88"
                               "F0 10 06 FF 06 21 07 46 00 00 00 00 89"
                               "F0 10 06 FF 06 21 07 47 00 00 00 00 8A"));
    QCOMPARE(interim, QStringList(2, u"Статус: запрос другой платке"_qs));
    QCOMPARE(Text(window, "Label_s"), u"Статус: шина занята другим обменом"_qs);
}

void TestProbeWindow::secondPressDuringWaitIsIgnored()
{
    AnsweringPort port;
    ProbeWindow window(Options(&port));
    auto *button = Find<QPushButton>(window, "Command1");
    QTimer::singleShot(5ms, button, &QPushButton::click);
    button->click();
    QCOMPARE(port.requests, 1);
}

void TestProbeWindow::closingDuringWaitEndsCleanly()
{
    AnsweringPort port;
    {
        ProbeWindow window(Options(&port));
        window.show();
        QTimer::singleShot(5ms, &window, &QWidget::close);
        window.Command1_Click();
        QCOMPARE(Text(window, "Label_s"), u"Статус:"_qs); // no verdict after the close
        window.Command1_Click();                          // nothing runs any more
        QCOMPARE(port.requests, 1);
    }
    // The window destroyed from inside its own wait.
    auto *window = new ProbeWindow(Options(&port));
    QTimer::singleShot(5ms, window, [window] { delete window; });
    window->Command1_Click();
    QCOMPARE(port.requests, 2);
}

void TestProbeWindow::closedPortIsReported()
{
    FakeBusPort port;
    port.open = false;
    ProbeWindow window(Options(&port));
    window.Command1_Click();
    QCOMPARE(Text(window, "Label_s"), u"Статус: Порт fake не открыт"_qs);

    qputenv(SerialBusPort::DeviceVariable, "/dev/umd-no-such-port");
    ProbeWindow own;
    QVERIFY(Text(own, "Label_s").startsWith(u"Статус: Порт /dev/umd-no-such-port не открыт"_qs));
    own.Command1_Click();
    QVERIFY(Text(own, "Label_s").startsWith(u"Статус: Порт /dev/umd-no-such-port не открыт"_qs));
}

// Two seconds after an exchange the status line is cleared and all eleven
// fields show their values without leading zeros, the data row first.
void TestProbeWindow::refreshRewritesEveryField()
{
    AnsweringPort port;
    port.reply = Hex("F8 02 03 40 01 02 03 04 05 06 07 08 69");
    ProbeOptions options = Options(&port);
    options.refreshDelay = ProbeOptions().refreshDelay;
    ProbeWindow window(options);
    auto *timer1 = window.findChild<QTimer *>(u"Timer1"_qs);
    QVERIFY(timer1 != nullptr);
    QVERIFY(!timer1->isActive());
    QCOMPARE(timer1->interval(), 2000);

    Find<QComboBox>(window, "Combo_adr")->setEditText(u"плата 2"_qs);
    Find<QComboBox>(window, "Combo_koman")->setEditText(u"читать 8 яч памяти"_qs);
    Find<QComboBox>(window, "Combo_adrd")->setEditText(u"401"_qs); // a third digit is ignored
    Find<QComboBox>(window, "Combo_zona")->setEditText(u"0A"_qs);  // not sent, still rewritten
    Find<QComboBox>(window, "Combo_stat")->setEditText(u"FF0"_qs);
    window.Command1_Click();
    QCOMPARE(port.written, Hex("F0 02 03 40 45"));
    QCOMPARE(Text(window, "Label_s"), u"Статус:  ОК"_qs);
    QVERIFY(timer1->isActive());

    QStringList rewritten;
    for (QComboBox *combo : window.findChildren<QComboBox *>()) {
        connect(combo, &QComboBox::editTextChanged, this,
                [&rewritten, combo] { rewritten.append(combo->objectName()); });
    }
    timer1->setInterval(1); // the two seconds, shortened
    QTRY_COMPARE(Text(window, "Label_s"), u"Статус:"_qs + QString(66, u' '));
    QCOMPARE(rewritten, (QStringList{u"Combo_d0"_qs, u"Combo_d1"_qs, u"Combo_d2"_qs, u"Combo_d3"_qs,
                                     u"Combo_d4"_qs, u"Combo_d5"_qs, u"Combo_d6"_qs, u"Combo_d7"_qs,
                                     u"Combo_adrd"_qs, u"Combo_zona"_qs, u"Combo_stat"_qs}));
    QStringList shown;
    for (const QString &name : rewritten)
        shown.append(window.findChild<QComboBox *>(name)->currentText());
    QCOMPARE(shown, (QStringList{u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs, u"5"_qs, u"6"_qs, u"7"_qs,
                                 u"8"_qs, u"40"_qs, u"A"_qs, u"FF"_qs}));
    QVERIFY(!timer1->isActive());
}

QTEST_MAIN(TestProbeWindow)
#include "tst_probewindow.moc"
