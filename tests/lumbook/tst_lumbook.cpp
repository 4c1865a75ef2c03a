// lumbook: what the bytes of an indicator mean, the lists that edit them, the
// file, and the window's runs against the simulated network through a real
// pseudo-terminal.
#include "busport.h"
#include "fakebusport.h"
#include "lumbookwindow.h"
#include "simharness.h"

#include "testbytes.h"
#include "typing.h"
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
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
    void lists_data();
    void lists();
    void file();
    void startAndBadFiles();
    void runsOnTheBus();

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
    void setRegister(int n, int reg, const QByteArray &bytes)
    {
        for (int b = 0; b < 8; ++b)
            m_window->images().indicator(n).cell(reg, b) = quint8(bytes[b]);
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
    QCOMPARE(TaskKindTexts().join(u'|'), // the kind list: kinds 0 to 4, 6, 7
             u"нет|вывод готовой надписи|вывод минут и секунд|день недели|контактный датчик|"
             u"аналоговый датчик|датчик температуры"_s);
}

// One row of the lists table: the steps typed, the lists shown after them
// (adr, kor, osv, d, bis, a, n, t), the bytes they changed ("83:0.2=10":
// indicator 83, register 0, byte 2 is 0x10), what went on the wire and the
// status line when it is no longer as at the start. `preset` puts bytes into
// the images first, written as the changes are.
static void Row(const char *name, const QString &steps, const QString &shown,
                const QString &changed, const QString &preset = {}, const QByteArray &wire = {},
                const QString &said = {})
{
    QTest::newRow(name) << steps << shown << changed << preset << wire << said;
}

void TestLumbook::lists_data()
{
    for (const char *column : {"steps", "shown", "changed", "preset"})
        QTest::addColumn<QString>(column);
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("said");
    const QString keyTask = u"80|0|0|действие по клавише|"_s, none = u"нет|(0)|(1)|(10)"_s;
    const QString slot5 = u"80|0|0|действие 5|"_s;
    Row("worked example, then the key task shown again",
        u"Combo_adr=82\n|Combo_kor=-5\n|Combo_osv=C\n|Combo_bis=вывод минут и секунд\n|"
        u"Combo_t=30\n|Combo_d=действие 0\n|Combo_bis=контактный датчик\n|Combo_a=3\n|"
        u"Combo_n=2\n|Combo_t=50\n|Combo_d=действие по клавише\n"_s,
        u"82|-5|C|действие по клавише|вывод минут и секунд|(0)|(1)|30"_s,
        u"82:0.1=05 82:0.2=0C 82:0.6=20 82:0.7=13 82:1.0=43 82:1.1=25"_s);
    // Another indicator fixes its own address and keeps a byte no list gives;
    // coming back shows what was chosen.
    Row("another indicator and back",
        u"Combo_kor=-5\n|Combo_osv=C\n|Combo_adr=83\n|Combo_adr=80\n"_s,
        u"80|-5|C|действие по клавише|"_s + none, u"80:0.1=05 80:0.2=0C 83:0.0=83 83:0.7=11"_s,
        u"83:0.0=55 83:0.2=10"_s);
    // The two bytes of a task slot as the installer finds and edits them.
    Row("kind F, input 0 and delay 0 normalised", u"Combo_d=действие 5\n"_s,
        slot5 + u"нет|(2)|(1)|(10)"_s, u"80:2.3=11"_s, u"80:2.2=F2"_s);
    Row("input E becomes 1", u"Combo_d=действие 5\n"_s, slot5 + u"вывод готовой надписи|0|(1)|50"_s,
        u"80:2.3=15"_s, u"80:2.2=10 80:2.3=E5"_s);
    Row("kind chosen and back, nibble kept",
        u"Combo_d=действие 5\n|Combo_bis=датчик температуры\n|Combo_bis=вывод минут и секунд\n"_s,
        slot5 + u"вывод минут и секунд|(A)|(3)|10"_s, {}, u"80:2.2=2A 80:2.3=31"_s);
    Row("delay, then input", u"Combo_d=действие 5\n|Combo_t=150\n|Combo_n=C\n"_s,
        slot5 + u"аналоговый датчик|0|C|150"_s, u"80:2.3=CF"_s, u"80:2.2=60 80:2.3=31"_s);
    Row("address nibble", u"Combo_d=действие 5\n|Combo_a=4\n"_s,
        slot5 + u"аналоговый датчик|4|3|10"_s, u"80:2.2=64"_s, u"80:2.2=6F 80:2.3=31"_s);
    // Typed with real keys: a text is taken once, on Enter, as typed, with
    // the fallbacks and refusals of its list; the focus leaving takes nothing.
    Row("a slot in lower case is the key task, not checked", u"Combo_d=действие a\n|Command_prov"_s,
        u"80|0|0|действие a|"_s + none, {});
    Row("a correction outside the list is 0", u"Combo_kor=+5\n|Combo_kor=+20\n"_s, keyTask + none,
        {});
    Row("a correction left by Tab is not taken", u"Combo_kor=+5\t"_s,
        u"80|+5|0|действие по клавише|"_s + none, {});
    Row("a delay outside the list is 10 s",
        u">Combo_bis=вывод минут и секунд|Combo_t=30\n|Combo_t=35\n"_s,
        keyTask + u"вывод минут и секунд|(0)|(1)|10"_s, u"80:0.6=20"_s);
    Row("a kind in another case is none",
        u">Combo_bis=контактный датчик|Combo_bis=Контактный датчик\n"_s, keyTask + none, {});
    Row("an address outside 80..8F", u"Combo_adr=90\n"_s, keyTask + none, {}, {}, {},
        u"Статус: адрес индикатора «90» не из списка 80..8F; выбран 80"_s);
    Row("no illumination constant", u"Combo_osv=5\n|Combo_osv=x\n"_s,
        u"80|0|5|действие по клавише|"_s + none, u"80:0.2=05"_s, {}, {},
        u"Статус: «x» в списке «Константа освещенности» не число 0..FF; ничего не изменено"_s);
    Row("no address or number, no input number",
        u">Combo_bis=контактный датчик|Combo_a=G\n|Combo_a=12\n|Combo_n=E\n"_s,
        keyTask + u"контактный датчик|0|1|10"_s, u"80:0.6=40"_s, {}, {},
        u"Статус: «E» в списке «Номер входа» не число 1..D; ничего не изменено"_s);
    Row("the task check of a typed slot", u"Combo_d=действие 3\n|Command_prov"_s,
        u"80|0|0|действие 3|"_s + none, u"80:1.7=11"_s, {}, Hex("F0 80 0A D0 03 5D"));
    Row("the task check of another indicator",
        u"Combo_adr=8F\n|Combo_d=действие F\n|Command_prov"_s, u"8F|0|0|действие F|"_s + none,
        u"8F:0.7=11 8F:4.7=11"_s, {}, Hex("F0 8F 0A D0 0F 78"));
}

void TestLumbook::lists()
{
    QFETCH(QString, steps);
    QFETCH(QString, shown);
    QFETCH(QString, changed);
    QFETCH(QString, preset);
    QFETCH(QByteArray, wire);
    QFETCH(QString, said);
    for (const QString &cell : preset.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList at = cell.split(QRegularExpression(u"[:.=]"_s));
        m_window->images()
            .indicator(at[0].toInt(nullptr, 16) - 0x7F)
            .cell(at[1].toInt(), at[2].toInt()) = qint16(at[3].toInt(nullptr, 16));
    }
    const IndicatorImages before = m_window->images();
    ShowAndType(m_window.get(), steps);
    QCOMPARE(ListsShown(m_window.get()), shown);
    QStringList cells;
    for (int n = 1; n <= 16; ++n)
        for (int reg = 0; reg < 5; ++reg)
            for (int b = 0; b < 8; ++b)
                if (const int v = m_window->images().indicator(n).cell(reg, b);
                    v != before.indicator(n).cell(reg, b))
                    cells.append(u"%1:%2.%3=%4"_s.arg(0x7F + n, 0, 16)
                                     .arg(reg)
                                     .arg(b)
                                     .arg(v, 2, 16, QChar(u'0')));
    QCOMPARE(cells.join(u' ').toUpper(), changed);
    QCOMPARE(m_port.written, wire);
    QCOMPARE(status(), said.isEmpty() ? m_started : said);
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
    images.indicator(1).cell(0, 2) = 256;
    images.indicator(16).cell(4, 7) = -32768;
    const IndicatorImages saved = images;
    click(u"Command_save"_s);
    images = IndicatorImages();
    click(u"Command_load"_s);
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
}

void TestLumbook::startAndBadFiles()
{
    QVERIFY(m_window->minimumSize() == m_window->maximumSize()); // a form of fixed size
    QCOMPARE(CaptionsShown(m_window.get()),
             u"Программирование часового индикатора умного дома|Адрес индикатора|"
             u"Часовая коррекция|Константа освещенности|Записать в файл umd_8x.txt|"
             u"Читать файл umd_8x.txt|Проверка задачи|Запись в контр.|Читать из контр.|"
             u"Выбор задачи|Действие|Номер входа|Адрес или номер|Время задержки, сек"_s);
    QStringList order; // Tab goes through the lists left to right, top to bottom
    for (QWidget *w = find<QComboBox>(u"Combo_adr"_s); order.size() < 8; w = w->nextInFocusChain())
        if (qobject_cast<QComboBox *>(w))
            order.append(w->objectName());
    QCOMPARE(order.join(u' ').remove(u"Combo_"_s), u"adr kor osv d bis n a t"_s);

    // Own addresses come from the indicator, not the file.
    QByteArray block =
        "\"a\"\r\n" + QByteArray("\"r\"\r\n5\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n").repeated(5);
    QVERIFY(PutFile(m_path, block.repeated(16)));
    start();
    QCOMPARE(status(), u"Статус:"_s);
    for (int n = 1; n <= 16; ++n)
        QCOMPARE(m_window->images().indicator(n).cell(0, 0), 0x7F + n);
    QCOMPARE(m_window->images().indicator(16).cell(4, 0), 5);

    // Not a number in indicator 2: the button keeps what it read before and
    // names where it stopped; a good load then clears that text.
    const QByteArray bad = block + QByteArray(block).replace("5\r\n", "5a\r\n");
    QVERIFY(PutFile(m_path, bad));
    m_window->images().indicator(1).cell(2, 3) = 9;
    m_window->images().indicator(2).cell(2, 3) = 9;
    click(u"Command_load"_s);
    QVERIFY2(status().contains(u"«5a»"_s) &&
                 status().endsWith(u"; значения до этого места прочитаны, остальные не изменены"_s),
             qPrintable(status()));
    QCOMPARE(m_window->images().indicator(1).cell(2, 3), 0);
    QCOMPARE(m_window->images().indicator(2).cell(2, 3), 9);
    QVERIFY(PutFile(m_path, block.repeated(16)));
    click(u"Command_load"_s);
    QCOMPARE(status(), u"Статус:"_s);
    // At start the same: indicator 1 from the file, the rest zero. The save
    // keeps the file that did not load beside it before writing over it.
    QVERIFY(PutFile(m_path, bad));
    start();
    QVERIFY2(status().endsWith(u"«5a»; значения до этого места прочитаны, остальные нулевые"_s),
             qPrintable(status()));
    QCOMPARE(m_window->images().indicator(1).cell(1, 0), 5);
    QCOMPARE(m_window->images().indicator(2).cell(1, 0), 0);
    click(u"Command_save"_s);
    const QDir dir(m_dir.path());
    const QStringList kept = dir.entryList({u"umd_8x непрочитанный *.txt"_s});
    QCOMPARE(kept.size(), 1);
    QCOMPARE(status(), u"Статус: прежний файл umd_8x.txt не был прочитан и сохранён как «%1»; "
                       u"файл записан"_s.arg(kept.first()));
    QFile copy(dir.filePath(kept.first()));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), bad);
    click(u"Command_save"_s); // read now: the next save keeps nothing
    QCOMPARE(dir.entryList({u"umd_8x непрочитанный *.txt"_s}).size(), 1);
    QFile::remove(m_path);
    start(false);
    QCOMPARE(status(),
             u"Статус: Порт fake не открыт; файла umd_8x.txt нет, все индикаторы нулевые"_s);
    TypeAll(m_window.get(), u"Combo_d=действие 1\n"_s);
    for (const auto &[button, said] : {
             std::pair{u"Command_s"_s, u"Статус: запись в контроллер не начата: "_s},
             std::pair{u"Command_l"_s, u"Статус: чтение из контроллера не начато: "_s},
             std::pair{u"Command_prov"_s, u"Статус: проверка задачи не отправлена: "_s},
         }) {
        click(button);
        QCOMPARE(status(), said + u"Порт fake не открыт"_s);
    }
}

// Indicator 80 written as the worked example and read back, with a byte that
// needs stuffing; presses and picks during a run change nothing of it; a task
// check; an indicator that does not answer. (The adapter pulled during a run:
// TestVoxbook::portVanishes.)
void TestLumbook::runsOnTheBus()
{
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    BusPort port;
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
    TypeAll(m_window.get(), u"Combo_adr=81\n|Combo_d=действие 3\n"_s);
    click(u"Command_l"_s);
    click(u"Command_prov"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->engine().isActive(), 5000);
    QCOMPARE(status(), u"Статус:"_s + QString(27, u' '));
    QCOMPARE(sim.requests().size(), 5);
    QCOMPARE(sim.requests().mid(0, 2),
             (QByteArrayList{Hex("F0 80 08 00 80 85 08 00 00 00 12 13 BA"),
                             Hex("F0 80 08 01 40 21 00 11 F0 11 11 00 00 0D")}));
    const QList<bussim::Register> &registers = sim.network().registers(0x80);
    for (int reg = 0; reg < 5; ++reg)
        for (int b = 0; b < 8; ++b)
            QCOMPARE(int(registers[reg][size_t(b)]), int(composed.cell(reg, b)));

    // Read back while 8F is shown with slot 3, which 80 holds as 00 00: the
    // refresh at the end normalises the indicator shown, not the one read.
    m_window->images().indicator(1) = IndicatorImage();
    TypeAll(m_window.get(), u"Combo_adr=80\n"_s);
    click(u"Command_l"_s);
    TypeAll(m_window.get(), u"Combo_adr=8F\n|Combo_d=действие 3\n"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->engine().isActive(), 5000);
    QCOMPARE(sim.requests().mid(5).join(), Hex("F0 80 07 00 87 F0 80 07 01 88 F0 80 07 02 89 "
                                               "F0 80 07 03 8A F0 80 07 04 8B"));
    QCOMPARE(status(), u"Статус:"_s + QString(32, u' '));
    QVERIFY(m_window->images().indicator(1) == composed);

    TypeAll(m_window.get(), u"Combo_adr=80\n"_s);
    click(u"Command_prov"_s);
    QTRY_VERIFY(sim.events().contains(u"80: task 03 run"_s));
    sim.network().setAbsent(0x84, true); // an answer to the task check may still wait
    TypeAll(m_window.get(), u"Combo_adr=84\n"_s);
    click(u"Command_s"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->engine().isActive(), 5000);
    QCOMPARE(status(), u"Статус: не подтверждено 5 из 5, контроллер 84 не отвечает"_s);
}

QTEST_MAIN(TestLumbook)
#include "tst_lumbook.moc"
