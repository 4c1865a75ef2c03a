// voxbook: the vocabulary and where each scenario lives, then the window
// driven by its control names against a fake port, and against the simulated
// network through a real pseudo-terminal.
#include "../regtransfer/pulledadapter.h"
#include "busport.h"
#include "fakebusport.h"
#include "phrasebook.h"
#include "voxbookwindow.h"

#include "testbytes.h"
#include "typing.h"
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

class TestVoxbook : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QFile::remove(m_path);
        m_port.written.clear();
        m_window = std::make_unique<VoxbookWindow>(&m_port, VoxbookOptions{7ms, 3ms, m_path});
    }
    void vocabularyAndPlaces();
    void editing();
    void file();
    void badFileLeavesImage_data();
    void badFileLeavesImage();
    void play_data();
    void play();
    void typed_data();
    void typed();
    void onTheBus();
    void portVanishes_data();
    void portVanishes();

private:
    // A window on a real port instead, destroyed before the port.
    auto startOn(BusPort *port, std::chrono::milliseconds tick)
    {
        m_window = std::make_unique<VoxbookWindow>(port, VoxbookOptions{tick, 100ms, QString()});
        return qScopeGuard([this] { m_window.reset(); });
    }
    template <typename T> T *find(const QString &name) { return m_window->findChild<T *>(name); }
    QString status() { return find<QLabel>(u"Label_s"_s)->text(); }
    void click(const QString &button) { find<QPushButton>(button)->click(); }
    // Types a text into a list and presses Enter, as the installer does.
    void type(const QString &list, const QString &text)
    {
        TypeSteps(m_window.get(), {list + u'=' + text + u'\n'});
    }
    // The phrase lists, a disabled one in brackets.
    QStringList shown()
    {
        QStringList texts;
        for (const QComboBox *list : m_window->findChildren<QComboBox *>(
                 QRegularExpression(u"^Combo_d"_s), Qt::FindDirectChildrenOnly))
            texts.append((list->isEnabled() ? u"%1"_s : u"(%1)"_s).arg(list->currentText()));
        return texts;
    }
    bool put(const QByteArray &contents)
    {
        QFile file(m_path);
        return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
    }

    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(u"umd_9C.txt"_s);
    FakeBusPort m_port;
    std::unique_ptr<VoxbookWindow> m_window;
};

void TestVoxbook::vocabularyAndPlaces()
{
    // The phrases in list order with their codes: a typo or a swapped code fails.
    QStringList phrases;
    for (const Phrase &phrase : Vocabulary()) {
        phrases.append(u"%1 %2"_s.arg(phrase.code, 2, 16, QChar(u'0')).toUpper().arg(phrase.text));
        QCOMPARE(PhraseText(PhraseCode(phrase.text)), phrase.text); // no code shared
    }
    QCOMPARE(
        phrases.join(u'|'),
        u"00 нет|0F сказать время|0E сказать режимы работы|34 температура|35 на улице|"
        u"36 на кухне|37 режимы работы|38 сон|39 темно|3A светло|3B охрана|"
        u"3C просыпайся хватит спать|3D к нам пришли|3E дверь|3F активность|42 отключен|"
        u"43 открыто|44 закрыто|45 чайник ставил|50 калитка|51 гаража|53 окно|54 а ты укололся|"
        u"55 на горе|56 чердака|57 телефон звонит|59 маленькой|5A комнаты|5B большой|"
        u"5C спальни|5D мастерской|61 огорода|70 ВНИМАНИЕ|71 К НАМ ПРИШЛИ|"
        u"72 НЕЧЕГО ЗДЕСЬ ХОДИТЬ|A0 температура контр. 0 на входе in-9|"
        u"A1 температура контр. 1 на входе in-9|A2 температура контр. 2 на входе in-9|"
        u"A3 температура контр. 3 на входе in-9|A4 температура контр. 4 на входе in-9|"
        u"A5 температура контр. 5 на входе in-9|A6 температура контр. 6 на входе in-9|"
        u"A7 температура контр. 7 на входе in-9|B0 температура контр. 0 на входе in-10|"
        u"B1 температура контр. 1 на входе in-10|B2 температура контр. 2 на входе in-10|"
        u"B3 температура контр. 3 на входе in-10|B4 температура контр. 4 на входе in-10|"
        u"B5 температура контр. 5 на входе in-10|B6 температура контр. 6 на входе in-10|"
        u"B7 температура контр. 7 на входе in-10"_s);

    QStringList places; // number:row, then + for each half (slots 0..3, 4..7) in use
    for (const QString &number : ScenarioNumbers()) {
        const ScenarioPlace p = PlaceOfScenario(*OfferedScenario(number));
        places.append(number + u':' + QString::number(p.row) + u"-+"[p.firstHalf] +
                      u"-+"[p.secondHalf]);
    }
    QCOMPARE(places.join(u' '),
             u"E0:1+- E1:1-+ E2:2+- E3:2-+ E4:3+- E5:3-+ E6:4+- E7:4-+ E8:5+- E9:5-+ EA:6+- "
             u"EB:6-+ EC:7+- ED:7-+ EE:8+- EF:8-+ F0:9++ F1:10++ F2:11++ F3:12++ F4:13++ "
             u"F5:14++ F6:15++ F7:16++ F9:18++ FA:19++ FB:20++ FC:21++ FD:22++ FE:23++ FF:24++"_s);
}

void TestVoxbook::editing()
{
    const QList<qint16> row1{0x0F, 0x34, 0x35, 0x10, 0, 0, 0, 0x70};
    for (int k = 0; k < 8; ++k)
        m_window->image().setCell(1, k, row1[k]);
    type(u"Combo_adr"_s, u"E1"_s);
    TypeSteps(m_window.get(), {u">Combo_d4=сон"_s, u"Combo_d5=сон\n"_s}); // picked, then typed
    type(u"Combo_adr"_s, u"E0"_s);
    // 10 is no phrase: shown as "нет", kept in the image.
    QCOMPARE(shown(), QStringList({u"сказать время"_s, u"температура"_s, u"на улице"_s, u"нет"_s,
                                   u"(сон)"_s, u"(нет)"_s, u"(нет)"_s, u"(ВНИМАНИЕ)"_s}));
    type(u"Combo_adr"_s, u"F8"_s); // not offered: the view stays
    QCOMPARE(shown().at(4), u"(сон)"_s);
    QVERIFY(status().contains(u"«F8» не из списка"_s));

    QVERIFY(m_window->minimumSize() == m_window->maximumSize());       // a form of fixed size
    QTest::keyClick(find<QPushButton>(u"Command4"_s), Qt::Key_Return); // Enter presses it
    QTRY_COMPARE(status(), u"Статус: не подтверждено 24 из 24, контроллер 9C не отвечает"_s);
    QCOMPARE(m_port.written.left(13), Hex("F0 9C 08 00 0F 34 35 10 38 00 00 70 D4"));
}

void TestVoxbook::file()
{
    AnnouncerImage &image = m_window->image();
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            image.setCell(row, slot, qint16(row * 10 + slot - 40)); // row 17, negatives
    image.setCell(1, 0, 0x0F);
    image.setCell(24, 7, 300);
    const AnnouncerImage saved = image;
    click(u"Command2"_s); // a save and a load that work leave the status line as it was
    QCOMPARE(status(), u"Статус:"_s);
    image = AnnouncerImage();
    click(u"Command1"_s);
    QCOMPARE(status(), u"Статус:"_s);
    QVERIFY(image == saved);
    QCOMPARE(shown().at(0), u"сказать время"_s); // the view is refreshed

    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 217); // 216 lines, the last one ended too
    QCOMPARE(lines.at(0), "\"\xF0\xE5\xE3\xE8\xF1\xF2\xF0-0\"\r"); // Windows-1251
    QCOMPARE(lines.at(2), "-29\r");
    QCOMPARE(lines.at(207), "\"\xF0\xE5\xE3\xE8\xF1\xF2\xF0-23\"\r");
    QVERIFY(ScenarioFile::Save(image, m_dir.filePath(u"no/umd_9C.txt"_s))
                .startsWith(u"Файл umd_9C.txt не записан"_s));

    // A file anyone may write, in a folder that takes no new file, is saved in
    // place. Root writes into any folder, so it saves there as nobody would.
    QVERIFY(QFile::setPermissions(m_path, QFileDevice::Permissions(0x6666)));
    QVERIFY(QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x5555)));
    const auto unlock =
        qScopeGuard([&] { QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7700)); });
    const bool root = ::geteuid() == 0;
    QVERIFY(!root || ::setresuid(65534, 65534, 0) == 0);
    m_window->image().setCell(24, 7, 99);
    click(u"Command2"_s);
    QVERIFY(!root || ::setresuid(0, 0, 0) == 0);
    QCOMPARE(status(), u"Статус:"_s);
    AnnouncerImage stored;
    QCOMPARE(ScenarioFile::Load(stored, m_path), QString());
    QCOMPARE(stored.cell(24, 7), 99);
}

void TestVoxbook::badFileLeavesImage_data()
{
    QTest::addColumn<QByteArray>("contents"); // empty: no file at all
    QTest::addColumn<QString>("named");
    QByteArray block = "\"r\"\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n";
    QTest::newRow("missing") << QByteArray() << u"umd_9C.txt"_s;
    QTest::newRow("short") << block.repeated(3) << u"элементе 28"_s;
    QTest::newRow("not a number") << block + block.replace("5\r\n", "5a\r\n") << u"«5a»"_s;
}

void TestVoxbook::badFileLeavesImage()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, named);
    QVERIFY(contents.isEmpty() || put(contents));
    m_window->image().setCell(1, 0, 0x0F);
    const AnnouncerImage before = m_window->image();
    click(u"Command1"_s);
    QVERIFY2(status().contains(u"umd_9C.txt"_s) && status().contains(named) &&
                 status().endsWith(u"; сценарии не изменены"_s),
             qPrintable(status()));
    QVERIFY(m_window->image() == before);
}

void TestVoxbook::play_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QByteArray>("play");
    QTest::newRow("E0") << u"E0"_s << Hex("F0 9C 0A FF E0 85");
    QTest::newRow("F0 stuffed") << u"F0"_s << Hex("F0 9C 0A FF F0 11 A6");
    QTest::newRow("FF") << u"FF"_s << Hex("F0 9C 0A FF FF A4");
    QTest::newRow("EF") << u"EF"_s << Hex("F0 9C 0A FF EF 94");
}

void TestVoxbook::play()
{
    QFETCH(QString, number);
    QFETCH(QByteArray, play);
    QCOMPARE(VoxbookOptions().pollInterval, 1500ms); // the program's own periods
    QCOMPARE(VoxbookOptions().tick, 250ms);
    const RegisterTransfer &engine = m_window->engine();
    click(u"Command3"_s); // a test pressed during a read run is ignored, saying nothing
    click(u"Command5"_s);
    QCOMPARE(status(), u"Статус:"_s);
    QTRY_VERIFY(!engine.isActive());
    m_port.written.clear();
    QStringList texts, expected; // the status line after each tick of the poll timer
    connect(&engine.Timer1(), &QTimer::timeout, this, [&] { texts.append(status()); });
    type(u"Combo_adr"_s, number);
    for (const QString &button : {u"Command5"_s, u"Command3"_s, u"Command4"_s, u"Command2"_s})
        click(button); // runs ignored, the file not written
    QCOMPARE(status(), u"Статус: идёт обмен с контроллером; файл не записан"_s);
    QCOMPARE(engine.Timer1().interval(), 3);
    QTRY_VERIFY(!engine.isActive());
    QCOMPARE(m_port.written, play + Hex("F0 9C 01 9D").repeated(10));
    for (int poll = 0; poll <= 8; ++poll)
        expected.append(u"Статус: нет ответа--"_s + QString::number(poll)); // the port is silent
    QCOMPARE(texts, expected << u"Статус: нет ответа на 10 из 10 запросов к контроллеру 9C"_s);
    QCOMPARE(engine.Timer1().interval(), 7); // the write run's tick again
}

void TestVoxbook::typed_data()
{
    QTest::addColumn<bool>("open"); // the port, from the start
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("enabledLists"); // the phrase lists enabled: the scenario shown
    QTest::addColumn<QString>("status");
    QTest::addColumn<QByteArray>("wire");
    const QString idle = u"Статус:"_s, first = u"11110000"_s, closed = u"Порт fake не открыт"_s;
    const QStringList e0{u"Combo_adr=E0\n"_s};
    QTest::newRow("a phrase in another case")
        << true << QStringList{u"Combo_d0=Сон\n"_s} << first << idle << QByteArray();
    QTest::newRow("a phrase as listed is no choice either")
        << true << QStringList{u"Combo_d1=сон\n"_s} << first << idle << QByteArray();
    QTest::newRow("a prefix left by Tab")
        << true << QStringList{u"Combo_d2=просып\t"_s} << first << idle << QByteArray();
    QTest::newRow("a number in lower case")
        << true << QStringList{u"Combo_adr=e1\n"_s} << first
        << u"Статус: номер сценария «e1» не из списка E0..F7, F9..FF"_s << QByteArray();
    // The fake port never answers, so the test ends saying so.
    const QString ended = u"Статус: нет ответа на 10 из 10 запросов к контроллеру 9C"_s;
    QTest::newRow("tested: E0x is E0") << true << QStringList{u"Combo_adr=E0x"_s, u"Command5"_s}
                                       << first << ended << Hex("F0 9C 0A FF E0 85");
    QTest::newRow("tested: 0G is 10") << true << QStringList{u"Combo_adr=0G"_s, u"Command5"_s}
                                      << first << ended << Hex("F0 9C 0A FF 10 B5");
    QTest::newRow("tested: G0 is no byte")
        << true << QStringList{u"Combo_adr=G0"_s, u"Command5"_s} << first
        << u"Статус: номер сценария «G0» не отправить: нужно число от 0 до FF"_s << QByteArray();
    QTest::newRow("port not open")
        << false << e0 << first << u"Статус: "_s + closed << QByteArray();
    QTest::newRow("test, port not open")
        << false << e0 + QStringList{u"Command5"_s} << first
        << u"Статус: проверка сценария не начата: "_s + closed << QByteArray();
    QTest::newRow("write, not a byte")
        << true << e0 + QStringList{u"Command4"_s} << first
        << u"Статус: регистр 5, ячейка 3 содержит 300, а не байт 0..255; запись не начата"_s
        << QByteArray();
}

// Typed with real keys: only a pick is a choice, a number is taken once on
// Enter and never turned into an entry, the scenario test sends what the
// digits are worth; what cannot be sent is refused, saying why.
void TestVoxbook::typed()
{
    QFETCH(bool, open);
    QFETCH(QStringList, steps);
    QFETCH(QString, enabledLists);
    QFETCH(QString, status);
    QFETCH(QByteArray, wire);
    m_port.open = open;
    init();
    m_window->image().setCell(6, 3, 300);
    const AnnouncerImage before = m_window->image();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    TypeSteps(m_window.get(), steps);
    for (const TypedStep step : steps)
        if (!step.name.startsWith(u"Command"_s))
            QCOMPARE(find<QComboBox>(step.name)->currentText(), step.text);
    QTRY_VERIFY(!m_window->engine().isActive());
    QCOMPARE(m_port.written.left(wire.size()), wire);
    QCOMPARE(m_port.written.isEmpty(), wire.isEmpty());
    QCOMPARE(this->status(), status);
    QString enabled;
    for (int k = 0; k < 8; ++k)
        enabled += QString::number(find<QComboBox>(u"Combo_d%1"_s.arg(k))->isEnabled());
    QCOMPARE(enabled, enabledLists);
    QVERIFY(m_window->image() == before);
}

// Every register written and acknowledged, read back, and scenario F0 played
// and polled to its end.
void TestVoxbook::onTheBus()
{
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    SerialBusPort port;
    QVERIFY2(port.open(sim.device()), qPrintable(port.errorText()));
    const auto closeFirst = startOn(&port, 100ms);
    // Codes within the vocabulary and beyond, and bytes that need stuffing.
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            m_window->image().setCell(row, slot, qint16((row * 37 + slot * 11) % 256));
    m_window->image().setCell(1, 0, 0x0F); // "сказать время"
    m_window->image().setCell(9, 0, 0xF0);
    const AnnouncerImage composed = m_window->image();
    const auto run = [this](const QString &button) {
        click(button);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->engine().isActive(), 5000);
    };
    run(u"Command4"_s);
    QCOMPARE(status(), u"Статус:"_s + QString(27, u' ')); // every register acknowledged
    const QList<bussim::Register> &registers = sim.network().registers(0x9C);
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            QCOMPARE(int(registers[row - 1][size_t(slot)]), int(composed.cell(row, slot)));

    m_window->image() = AnnouncerImage();
    run(u"Command3"_s);
    QVERIFY(m_window->image() == composed);
    QCOMPARE(find<QComboBox>(u"Combo_d0"_s)->currentText(), u"сказать время"_s);

    type(u"Combo_adr"_s, u"F0"_s);
    run(u"Command5"_s);
    QVERIFY(sim.events().contains(u"9C: scenario F0 played"_s));
    QCOMPARE(sim.requests().count(Hex("F0 9C 01 9D")), 10);
    QCOMPARE(status(), u"Статус:"_s + QString(32, u' ')); // every request answered
}

void TestVoxbook::portVanishes_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("requests"); // the port vanishes during the last of them
    QTest::newRow("write run") << u"Command4"_s << 6;
    QTest::newRow("read run") << u"Command3"_s << 6;
    QTest::newRow("scenario test: play request and three polls") << u"Command5"_s << 4;
}

// What the editor holds stays, and what a read run read before is kept.
void TestVoxbook::portVanishes()
{
    QFETCH(QString, button);
    QFETCH(int, requests);
    auto sim = std::make_unique<SimHarness>();
    QVERIFY2(sim->ok(), qPrintable(sim->error()));
    QList<bussim::Register> &registers = sim->network().registers(0x9C);
    for (int reg = 0; reg < 24; ++reg)
        for (int slot = 0; slot < 8; ++slot)
            registers[reg][size_t(slot)] = quint8(reg * 8 + slot + 1);
    const QList<bussim::Register> held = registers;
    SerialBusPort port;
    QVERIFY2(port.open(sim->device()), qPrintable(port.errorText()));
    const auto closeFirst = startOn(&port, 40ms);
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            m_window->image().setCell(row, slot, qint16(0xF0 - row));
    const AnnouncerImage composed = m_window->image();
    AnnouncerImage expected = composed;
    RunUntilPulled(sim, requests, 0x9C, m_window.get(), m_window->engine(), qPrintable(button),
                   "Command4", [&](int row) {
                       for (int slot = 0; slot < 8; ++slot)
                           expected.setCell(row, slot, qint16(held[row - 1][size_t(slot)]));
                   });
    QCOMPARE(m_window->engine().Timer1().interval(), 40); // the scenario test's 1.5 s is undone
    QVERIFY(m_window->image() == expected);
    QCOMPARE(expected == composed, button != u"Command3"_s); // a read run read some first
}

QTEST_MAIN(TestVoxbook)
#include "tst_voxbook.moc"
