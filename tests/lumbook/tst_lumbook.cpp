// lumbook: what the bytes of an indicator mean, the lists that edit them, the
// file, and the window's runs against the simulated network through a real
// pseudo-terminal.
#include "../regtransfer/pulledadapter.h"
#include "busport.h"
#include "fakebusport.h"
#include "lumbookwindow.h"

#include "testbytes.h"
#include "typing.h"
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

class TestLumbook : public QObject
{
    Q_OBJECT
private slots:
    void init() { start(); }
    void codes();
    void workedExample();
    void taskBytes_data();
    void taskBytes();
    void file();
    void startAndBadFiles();
    void runsOnTheBus();
    void portVanishes_data();
    void portVanishes();
    void taskCheck();
    void refusals();
    void typed_data();
    void typed();

private:
    // A fresh window on the fake port, or on a real one; with a tick of an
    // hour only the test ticks.
    void start(bool open = true, BusPort *port = nullptr, std::chrono::milliseconds tick = 1h)
    {
        m_port.open = open;
        m_port.written.clear();
        m_window.reset();
        m_window =
            std::make_unique<LumbookWindow>(port ? port : &m_port, LumbookOptions{tick, m_path});
        m_started = status();
    }
    template <typename T> T *find(const QString &name) { return m_window->findChild<T *>(name); }
    QString status() { return find<QLabel>(u"Label_s"_s)->text(); }
    void click(const QString &button) { find<QPushButton>(button)->click(); }
    // Types into lists in turn, each ended by Enter: "Combo_kor=-5|Combo_osv=C".
    void choose(const QString &picks)
    {
        for (const QString &pick : picks.split(u'|'))
            TypeSteps(m_window.get(), {pick + u'\n'});
    }
    // The task lists, a disabled one in brackets.
    QString taskShown()
    {
        QStringList texts;
        for (const char *name : {"Combo_bis", "Combo_n", "Combo_a", "Combo_t"}) {
            const QComboBox *list = find<QComboBox>(QString::fromLatin1(name));
            texts.append((list->isEnabled() ? u"%1"_s : u"(%1)"_s).arg(list->currentText()));
        }
        return texts.join(u' ');
    }
    QByteArray registerBytes(int n, int reg)
    {
        QByteArray bytes;
        for (int b = 0; b < 8; ++b)
            bytes.append(char(m_window->images().indicator(n).cell(reg, b)));
        return bytes;
    }
    void setRegister(int n, int reg, const QByteArray &bytes)
    {
        for (int b = 0; b < 8; ++b)
            m_window->images().indicator(n).cell(reg, b) = quint8(bytes[b]);
    }
    bool put(const QByteArray &contents)
    {
        QFile file(m_path);
        return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
    }

    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(u"umd_8x.txt"_s);
    FakeBusPort m_port;
    std::unique_ptr<LumbookWindow> m_window;
    QString m_started; // the status line after the start
};

void TestLumbook::codes()
{
    // Every correction text is its own byte and back; exactly 38 bytes have a
    // text other than "0".
    const QStringList corrections = CorrectionTexts();
    QCOMPARE(corrections.size(), 39);
    for (const QString &text : corrections)
        QCOMPARE(CorrectionText(CorrectionCode(text)), text);
    int signedCodes = 0;
    for (int v = -300; v < 300; ++v)
        signedCodes += CorrectionText(v) != u"0"_s;
    QCOMPARE(signedCodes, 38);
    QList<int> bytes;
    for (const char *text : {"+19", "-19", "+1", "+10", "-9", "0", "19", "+20"})
        bytes.append(CorrectionCode(QString::fromLatin1(text)));
    QCOMPARE(bytes, (QList<int>{0x99, 0x19, 0x81, 0x90, 0x09, 0, 0, 0}));

    QStringList places; // text: register.byte=code
    const QStringList slotTexts = TaskSlotTexts() << u"действие G"_s;
    for (const QString &text : slotTexts) {
        const TaskSlot slot = TaskSlotOf(text);
        places.append(u"%1.%2=%3"_s.arg(slot.reg).arg(slot.byte).arg(slot.code));
    }
    QCOMPARE(places.join(u' '), u"0.6=20 1.0=0 1.2=1 1.4=2 1.6=3 2.0=4 2.2=5 2.4=6 2.6=7 3.0=8 "
                                u"3.2=9 3.4=10 3.6=11 4.0=12 4.2=13 4.4=14 4.6=15 0.6=20"_s);

    QStringList kinds; // kind 0..F as shown: text and the enabled lists a, n, t
    for (int kind = 0; kind < 16; ++kind) {
        const TaskKindView view = ShowKind(kind);
        kinds.append(view.text + u':' + u"-a"[view.addressEnabled] + u"-n"[view.inputEnabled] +
                     u"-t"[view.delayEnabled]);
        QCOMPARE(TaskKindOfText(view.text), kind == 5 || kind > 7 ? 0 : kind);
    }
    QCOMPARE(kinds.join(u'|'),
             u"нет:---|вывод готовой надписи:a-t|вывод минут и секунд:--t|день недели:--t|"
             u"контактный датчик:ant|нет:---|аналоговый датчик:ant|датчик температуры:ant|"
             u"нет:---|нет:---|нет:---|нет:---|нет:---|нет:---|нет:---|нет:---"_s);
    QStringList listed; // the kind list in its order: kinds 0 to 4, 6, 7
    for (int kind : {0, 1, 2, 3, 4, 6, 7})
        listed.append(ShowKind(kind).text);
    QCOMPARE(TaskKindTexts(), listed);
}

void TestLumbook::workedExample()
{
    choose(u"Combo_adr=82|Combo_kor=-5|Combo_osv=C|Combo_bis=вывод минут и секунд|Combo_t=30|"
           u"Combo_d=действие 0|Combo_bis=контактный датчик|Combo_a=3|Combo_n=2|Combo_t=50"_s);
    QCOMPARE(m_window->editor().indicatorIndex(), 3);
    QCOMPARE(registerBytes(3, 0), Hex("82 05 0C 00 00 00 20 13"));
    QCOMPARE(registerBytes(3, 1).left(2), Hex("43 25"));
    QCOMPARE(taskShown(), u"контактный датчик 2 3 50"_s);
    choose(u"Combo_d=действие по клавише"_s);
    QCOMPARE(taskShown(), u"вывод минут и секунд (1) (0) 30"_s);
    // Another indicator keeps the slot, and shows a byte no list gives in hex,
    // kept; coming back shows 82 as it was.
    m_window->images().indicator(4).cell(0, 0) = 0x55;
    m_window->images().indicator(4).cell(0, 2) = 16;
    choose(u"Combo_adr=83"_s);
    QCOMPARE(find<QComboBox>(u"Combo_osv"_s)->currentText(), u"10"_s);
    choose(u"Combo_adr=82"_s);
    QCOMPARE(find<QComboBox>(u"Combo_kor"_s)->currentText(), u"-5"_s);
    QCOMPARE(find<QComboBox>(u"Combo_osv"_s)->currentText(), u"C"_s);
    QCOMPARE(registerBytes(4, 0).left(3), Hex("83 00 10"));
}

void TestLumbook::taskBytes_data()
{
    QTest::addColumn<QByteArray>("slotBytes"); // first and second byte of "действие 5"
    QTest::addColumn<QString>("picks");        // lists chosen after selecting the slot
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("shown");
    QTest::newRow("kind 5 shown as none, kept")
        << Hex("53 31") << QString() << Hex("53 31") << u"нет (3) (3) (10)"_s;
    QTest::newRow("kind F, input 0 and delay 0 normalised")
        << Hex("F2 00") << QString() << Hex("F2 11") << u"нет (1) (2) (10)"_s;
    QTest::newRow("input E becomes 1")
        << Hex("10 E5") << QString() << Hex("10 15") << u"вывод готовой надписи (1) 0 50"_s;
    QTest::newRow("delay A") << Hex("40 1A") << QString() << Hex("40 1A")
                             << u"контактный датчик 1 0 100"_s;
    QTest::newRow("kind chosen, nibble kept") << Hex("2A 31") << u"Combo_bis=датчик температуры"_s
                                              << Hex("7A 31") << u"датчик температуры 3 A 10"_s;
    QTest::newRow("and chosen back") << Hex("2A 31")
                                     << u"Combo_bis=датчик температуры|Combo_bis=вывод минут и "
                                        u"секунд"_s
                                     << Hex("2A 31") << u"вывод минут и секунд (3) (A) 10"_s;
    QTest::newRow("delay, then input") << Hex("60 31") << u"Combo_t=150|Combo_n=C"_s << Hex("60 CF")
                                       << u"аналоговый датчик C 0 150"_s;
    QTest::newRow("address nibble")
        << Hex("6F 31") << u"Combo_a=4"_s << Hex("64 31") << u"аналоговый датчик 3 4 10"_s;
}

void TestLumbook::taskBytes()
{
    QFETCH(QByteArray, slotBytes);
    QFETCH(QString, picks);
    QFETCH(QByteArray, after);
    QFETCH(QString, shown);
    IndicatorImage &image = m_window->images().indicator(1);
    image.cell(2, 2) = quint8(slotBytes[0]);
    image.cell(2, 3) = quint8(slotBytes[1]);
    choose(u"Combo_d=действие 5"_s);
    if (!picks.isEmpty())
        choose(picks);
    QCOMPARE(registerBytes(1, 2).mid(2, 2), after);
    QCOMPARE(taskShown(), shown);
    QCOMPARE(status(), m_started);
}

void TestLumbook::file()
{
    IndicatorImages &images = m_window->images();
    for (int n = 1; n <= 16; ++n)
        for (int reg = 0; reg < 5; ++reg)
            for (int b = 0; b < 8; ++b)
                images.indicator(n).cell(reg, b) = qint16(n * 50 + reg * 8 + b - 200);
    images.indicator(1).cell(0, 0) = 0x80; // the load refreshes the one shown
    images.indicator(1).cell(0, 1) = 0x99;
    images.indicator(16).cell(4, 7) = -32768;
    const IndicatorImages saved = images;
    click(u"Command_save"_s); // a save and a load that work leave the status line as it was
    QCOMPARE(status(), m_started);
    images = IndicatorImages();
    click(u"Command_load"_s);
    QCOMPARE(status(), m_started);
    QVERIFY(images == saved); // only own-address bytes are fixed, and at start
    QCOMPARE(find<QComboBox>(u"Combo_kor"_s)->currentText(), u"+19"_s);

    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 737); // 736 lines, the last one ended too
    // "Адрес индикатора -80", "регистр-0" in Windows-1251.
    QCOMPARE(lines.at(0),
             "\"\xC0\xE4\xF0\xE5\xF1 \xE8\xED\xE4\xE8\xEA\xE0\xF2\xEE\xF0\xE0 -80\"\r");
    QCOMPARE(lines.at(1), "\"\xF0\xE5\xE3\xE8\xF1\xF2\xF0-0\"\r");
    QCOMPARE(lines.at(3), "153\r");
    QVERIFY(lines.at(46).endsWith(" -81\"\r"));
    QCOMPARE(lines.at(37), "\"\xF0\xE5\xE3\xE8\xF1\xF2\xF0-4\"\r");
    QCOMPARE(lines.at(735), "-32768\r");
    QVERIFY(IndicatorFile::Save(images, m_dir.filePath(u"no/umd_8x.txt"_s))
                .startsWith(u"Файл umd_8x.txt не записан"_s));

    // Labels are passed over unread; values may stand comma-separated.
    QByteArray commas;
    for (int n = 1; n <= 16; ++n) {
        commas += "\"?\"\r\n";
        for (int reg = 0; reg < 5; ++reg)
            commas += "\"x\"," + QByteArray::number(n) + ",1,2,3,4,5,6,7\r\n";
    }
    QVERIFY(put(commas));
    click(u"Command_load"_s);
    QCOMPARE(registerBytes(9, 4), Hex("09 01 02 03 04 05 06 07"));
}

void TestLumbook::startAndBadFiles()
{
    // Own addresses come from the indicator, not the file.
    QByteArray block =
        "\"a\"\r\n" + QByteArray("\"r\"\r\n5\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n").repeated(5);
    QVERIFY(put(block.repeated(16)));
    start();
    QCOMPARE(status(), u"Статус:"_s);
    for (int n = 1; n <= 16; ++n)
        QCOMPARE(m_window->images().indicator(n).cell(0, 0), 0x7F + n);
    QCOMPARE(m_window->images().indicator(16).cell(4, 0), 5);

    // Short, not a number after a good indicator: the button changes nothing
    // and names where it stopped.
    for (const auto &[contents, named] :
         {std::pair{block.repeated(3), u"элементе 139"_s},
          std::pair{block + QByteArray(block).replace("5\r\n", "5a\r\n"), u"«5a»"_s}}) {
        QVERIFY(put(contents));
        const IndicatorImages before = m_window->images();
        click(u"Command_load"_s);
        QVERIFY2(status().contains(named) && status().endsWith(u"; индикаторы не изменены"_s),
                 qPrintable(status()));
        QVERIFY(m_window->images() == before);
    }
    // At start a bad file leaves every image zero but its own address.
    start();
    QVERIFY2(status().endsWith(u"«5a»; все индикаторы нулевые"_s), qPrintable(status()));
    QCOMPARE(m_window->images().indicator(1).cell(1, 0), 0);
    QFile::remove(m_path);
    start(false);
    QCOMPARE(status(),
             u"Статус: Порт fake не открыт; файла umd_8x.txt нет, все индикаторы нулевые"_s);
}

void TestLumbook::taskCheck()
{
    QVERIFY(m_window->minimumSize() == m_window->maximumSize()); // a form of fixed size
    QStringList order; // Tab goes through the lists left to right, top to bottom
    for (QWidget *w = find<QComboBox>(u"Combo_adr"_s); order.size() < 8; w = w->nextInFocusChain())
        if (qobject_cast<QComboBox *>(w))
            order.append(w->objectName());
    QCOMPARE(order.join(u' ').remove(u"Combo_"_s), u"adr kor osv d bis n a t"_s);
    const QList<std::pair<QString, QByteArray>> checks{
        {u"Combo_adr=81|Combo_d=действие 3"_s, Hex("F0 81 0A D0 03 5E")},
        {u"Combo_adr=8F|Combo_d=действие F"_s, Hex("F0 8F 0A D0 0F 78")},
        {u"Combo_d=действие по клавише"_s, QByteArray()},
        {u"Combo_d=действие X"_s, QByteArray()}, // a typed slot is the key task
    };
    for (const auto &[picks, sent] : checks) {
        choose(picks);
        const IndicatorImages before = m_window->images();
        m_port.written.clear();
        click(u"Command_prov"_s);
        QCOMPARE(m_port.written, sent);
        QCOMPARE(status(), m_started);
        QVERIFY(m_window->images() == before && !m_window->engine().isActive());
    }
}

void TestLumbook::refusals()
{
    m_window->images().indicator(1).cell(3, 5) = 256;
    click(u"Command_s"_s);
    QCOMPARE(status(),
             u"Статус: регистр 3, ячейка 5 содержит 256, а не байт 0..255; запись не начата"_s);
    start(false);
    const QString closed = u"Порт fake не открыт"_s;
    const QList<std::pair<QString, QString>> presses{
        {u"Command_s"_s, u"Статус: запись в контроллер не начата: "_s + closed},
        {u"Command_l"_s, u"Статус: чтение из контроллера не начато: "_s + closed},
        {u"Command_prov"_s, u"Статус: проверка задачи не отправлена: "_s + closed},
    };
    choose(u"Combo_d=действие 1"_s);
    for (const auto &[button, said] : presses) {
        click(button);
        QCOMPARE(status(), said);
        QVERIFY(!m_window->engine().isActive());
    }
    QVERIFY(m_port.written.isEmpty());
}

void TestLumbook::typed_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("shown"); // address, correction, illumination | slot | task lists
    QTest::addColumn<QByteArray>("register0"); // of indicator 80
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("said"); // empty: as it was at the start
    const QString start = u"80 0 0 | действие по клавише | "_s, none = u"нет (1) (0) (10)"_s;
    const QString contact = start + u"контактный датчик 1 0 10"_s, no = QString();
    const QByteArray zero = Hex("80 00 00 00 00 00 00 11"), nothing;
    const auto refused = [](const char *text, const char *label, const char *range) {
        return u"Статус: «%1» в списке «%2» не число %3; ничего не изменено"_s.arg(
            QString::fromUtf8(text), QString::fromUtf8(label), QString::fromUtf8(range));
    };
    QTest::newRow("a slot in lower case is the key task")
        << QStringList{u"Combo_d=действие a\n"_s} << u"80 0 0 | действие a | "_s + none << zero
        << nothing << no;
    QTest::newRow("a correction outside the list is 0")
        << QStringList{u"Combo_kor=+5\n"_s, u"Combo_kor=+20\n"_s} << start + none << zero << nothing
        << no;
    QTest::newRow("a correction left by Tab is not taken")
        << QStringList{u"Combo_kor=+5\t"_s} << u"80 +5 0 | действие по клавише | "_s + none << zero
        << nothing << no;
    QTest::newRow("a delay outside the list is 10 s")
        << QStringList{u">Combo_bis=вывод минут и секунд"_s, u"Combo_t=30\n"_s, u"Combo_t=35\n"_s}
        << start + u"вывод минут и секунд (1) (0) 10"_s << Hex("80 00 00 00 00 00 20 11") << nothing
        << no;
    QTest::newRow("a kind in another case is none")
        << QStringList{u">Combo_bis=контактный датчик"_s, u"Combo_bis=Контактный датчик\n"_s}
        << start + none << zero << nothing << no;
    QTest::newRow("an address outside 80..8F")
        << QStringList{u"Combo_adr=90\n"_s} << start + none << zero << nothing
        << u"Статус: адрес индикатора «90» не из списка 80..8F; выбран 80"_s;
    QTest::newRow("no illumination constant")
        << QStringList{u"Combo_osv=5\n"_s, u"Combo_osv=x\n"_s}
        << u"80 0 5 | действие по клавише | "_s + none << Hex("80 00 05 00 00 00 00 11") << nothing
        << refused("x", "Константа освещенности", "0..FF");
    QTest::newRow("no address or number, no input number")
        << QStringList{u">Combo_bis=контактный датчик"_s, u"Combo_a=G\n"_s, u"Combo_a=12\n"_s,
                       u"Combo_n=E\n"_s}
        << contact << Hex("80 00 00 00 00 00 40 11") << nothing
        << refused("E", "Номер входа", "1..D");
    QTest::newRow("the task check of a typed slot")
        << QStringList{u"Combo_d=действие 3\n"_s, u"Command_prov"_s}
        << u"80 0 0 | действие 3 | "_s + none << zero << Hex("F0 80 0A D0 03 5D") << no;
}

// Typed with real keys: a text is taken once, on Enter, as typed, with the
// fallbacks and refusals of its list; the focus leaving takes nothing.
void TestLumbook::typed()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    QFETCH(QByteArray, register0);
    QFETCH(QByteArray, wire);
    QFETCH(QString, said);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    TypeSteps(m_window.get(), steps);
    QStringList top;
    for (const char *name : {"Combo_adr", "Combo_kor", "Combo_osv"})
        top << find<QComboBox>(QString::fromLatin1(name))->currentText();
    QCOMPARE(top.join(u' ') + u" | "_s + find<QComboBox>(u"Combo_d"_s)->currentText() + u" | "_s +
                 taskShown(),
             shown);
    QCOMPARE(registerBytes(1, 0), register0);
    QCOMPARE(registerBytes(1, 3), QByteArray(8, 0)); // "действие A" never chosen
    QCOMPARE(m_port.written, wire);
    QCOMPARE(status(), said.isEmpty() ? m_started : said);
}

// Indicator 80 written as the worked example and read back, with a byte that
// needs stuffing; presses and picks during a run change nothing of it; a task
// check; an indicator that does not answer.
void TestLumbook::runsOnTheBus()
{
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    SerialBusPort port;
    QVERIFY2(port.open(sim.device()), qPrintable(port.errorText()));
    const auto closeFirst = qScopeGuard([this] { m_window.reset(); });
    QCOMPARE(LumbookOptions().tick, 250ms); // the program's own tick
    start(true, &port, 100ms);
    setRegister(1, 0, Hex("80 85 08 00 00 00 12 13"));
    setRegister(1, 1, Hex("40 21 00 11 F0 11 00 00"));
    for (int reg = 2; reg < 5; ++reg)
        setRegister(1, reg, QByteArray(8, char(0x57 * reg)));
    const IndicatorImage composed = m_window->images().indicator(1);
    click(u"Command_s"_s);
    choose(u"Combo_adr=81|Combo_d=действие 3"_s);
    click(u"Command_l"_s);
    click(u"Command_prov"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->engine().isActive(), 5000);
    QCOMPARE(status(), u"Статус:"_s + QString(27, u' '));
    QCOMPARE(sim.requests().size(), 5);
    QCOMPARE(sim.requests().mid(0, 2),
             (QByteArrayList{Hex("F0 80 08 00 80 85 08 00 00 00 12 13 BA"),
                             Hex("F0 80 08 01 40 21 00 11 F0 11 11 00 00 0D")}));
    for (int reg = 0; reg < 5; ++reg)
        for (int b = 0; b < 8; ++b)
            QCOMPARE(int(sim.network().registers(0x80)[reg][size_t(b)]),
                     int(composed.cell(reg, b)));

    // Read back while 8F is shown with slot 3, which 80 holds as 00 00: the
    // refresh at the end normalises the indicator shown, not the one read.
    m_window->images().indicator(1) = IndicatorImage();
    choose(u"Combo_adr=80"_s);
    click(u"Command_l"_s);
    choose(u"Combo_adr=8F|Combo_d=действие 3"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->engine().isActive(), 5000);
    QCOMPARE(sim.requests().mid(5).join(), Hex("F0 80 07 00 87 F0 80 07 01 88 F0 80 07 02 89 "
                                               "F0 80 07 03 8A F0 80 07 04 8B"));
    QCOMPARE(status(), u"Статус:"_s + QString(32, u' '));
    QVERIFY(m_window->images().indicator(1) == composed);

    choose(u"Combo_adr=80"_s);
    click(u"Command_prov"_s);
    QTRY_VERIFY(sim.events().contains(u"80: task 03 run"_s));
    QCOMPARE(sim.requests().last(), Hex("F0 80 0A D0 03 5D"));
    sim.network().setAbsent(0x84, true); // an answer to the task check may still wait
    choose(u"Combo_adr=84"_s);
    click(u"Command_s"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->engine().isActive(), 5000);
    QCOMPARE(status(), u"Статус: не подтверждено 5 из 5, контроллер 84 не отвечает"_s);
}

void TestLumbook::portVanishes_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("requests"); // the port vanishes during the last of them
    QTest::newRow("write run") << u"Command_s"_s << 3;
    QTest::newRow("read run") << u"Command_l"_s << 4;
}

// The indicator's image keeps what it held and what was read. Every byte of
// a task slot stands as it may, so the refresh at the end of a read run
// changes nothing but the own address.
void TestLumbook::portVanishes()
{
    QFETCH(QString, button);
    QFETCH(int, requests);
    auto sim = std::make_unique<SimHarness>();
    QVERIFY2(sim->ok(), qPrintable(sim->error()));
    SerialBusPort port;
    QVERIFY2(port.open(sim->device()), qPrintable(port.errorText()));
    const auto closeFirst = qScopeGuard([this] { m_window.reset(); });
    start(true, &port, 40ms);
    QList<bussim::Register> &registers = sim->network().registers(0x80);
    for (int reg = 0; reg < 5; ++reg)
        for (int b = 0; b < 8; ++b) {
            registers[reg][size_t(b)] = quint8(0x21 + 0x10 * reg + b);
            m_window->images().indicator(1).cell(reg, b) = reg + b ? 0x9A : 0x80;
        }
    registers[0][0] = 0x80;
    const QList<bussim::Register> held = registers;
    const IndicatorImage composed = m_window->images().indicator(1);
    IndicatorImage expected = composed;
    RunUntilPulled(sim, requests, 0x80, m_window.get(), m_window->engine(), qPrintable(button),
                   "Command_s", [&](int c) {
                       for (int b = 0; b < 8; ++b)
                           expected.cell(c - 1, b) = qint16(held[c - 1][size_t(b)]);
                   });
    QVERIFY(m_window->images().indicator(1) == expected);
    QCOMPARE(expected == composed, button != u"Command_l"_s); // a read run read some first
}

QTEST_MAIN(TestLumbook)
#include "tst_lumbook.moc"
