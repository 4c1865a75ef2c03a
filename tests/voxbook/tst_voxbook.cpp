// voxbook: the vocabulary and where each scenario lives, then the window
// driven by its control names against a fake port, and against the simulated
// network through a real pseudo-terminal.
#include "busport.h"
#include "fakebusport.h"
#include "phrasebook.h"
#include "simharness.h"
#include "voxbookwindow.h"

#include "testbytes.h"
#include "typing.h"
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
    void file();
    void typed_data();
    void typed();
    void onTheBus();
    void portVanishes_data();
    void portVanishes();

private:
    // A window on a real port instead, destroyed before the port.
    auto startOn(BusPort *port, std::chrono::milliseconds tick,
                 std::chrono::milliseconds poll = 100ms)
    {
        m_window = std::make_unique<VoxbookWindow>(port, VoxbookOptions{tick, poll, QString()});
        return qScopeGuard([this] { m_window.reset(); });
    }
    QString status() { return m_window->findChild<QLabel *>(u"Label_s"_s)->text(); }
    void click(const QString &button) { m_window->findChild<QPushButton *>(button)->click(); }
    // The phrase lists, "|" between them, a disabled one in brackets.
    QString shown() { return ListsShown(m_window.get()).section(u'|', 1); }

    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(u"umd_9C.txt"_s);
    FakeBusPort m_port;
    std::unique_ptr<VoxbookWindow> m_window;
};

void TestVoxbook::vocabularyAndPlaces()
{
    // The phrases in list order with their codes: a typo or a swapped code fails.
    QStringList phrases;
    for (const Phrase &phrase : Vocabulary())
        phrases.append(u"%1 %2"_s.arg(phrase.code, 2, 16, QChar(u'0')).toUpper().arg(phrase.text));
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

void TestVoxbook::file()
{
    QCOMPARE(CaptionsShown(m_window.get()), // 9С with a Cyrillic С, as the form has it
             u"Программирование говорилки  9\u0421|Номер сценария|Фразы в сценарии|"
             u"читать файл umd_9C.txt|запись в файл umd_9C.txt|читать из контр.|"
             u"запись в контр.|Проверка сценария"_s);
    // Missing, short: the load changes nothing and says where.
    const QByteArray block = "\"r\"\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n";
    m_window->image().setCell(1, 0, 0x0F);
    for (const auto &[contents, named] : {std::pair{QByteArray(), u"umd_9C.txt"_s},
                                          std::pair{block.repeated(3), u"элементе 28"_s}}) {
        QVERIFY(contents.isEmpty() || PutFile(m_path, contents));
        const AnnouncerImage before = m_window->image();
        click(u"Command1"_s);
        QVERIFY2(status().contains(u"umd_9C.txt"_s) && status().contains(named) &&
                     status().endsWith(u"; сценарии не изменены"_s),
                 qPrintable(status()));
        QVERIFY(m_window->image() == before);
    }
    // Nine lines too many after register 0 load by position, and say where.
    QVERIFY(PutFile(m_path, block + QByteArray("9\r\n").repeated(9) + block.repeated(23)));
    click(u"Command1"_s);
    QCOMPARE(status(), u"Статус: Файл umd_9C.txt, строка 10: на месте подписи стоит число «9», "
                       u"значения после него могут быть сдвинуты"_s);

    init();
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
    QCOMPARE(shown().section(u'|', 0, 0), u"сказать время"_s); // the view is refreshed

    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 217); // 216 lines, the last one ended too
    QCOMPARE(lines.at(0), "\"\xF0\xE5\xE3\xE8\xF1\xF2\xF0-0\"\r"); // Windows-1251
    QCOMPARE(lines.at(2), "-29\r");
    QCOMPARE(lines.at(207), "\"\xF0\xE5\xE3\xE8\xF1\xF2\xF0-23\"\r");

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

// One row of the typed table: the steps, what the lists show after them
// (number, then the eight phrases), the status line and the start of what
// went on the wire; the writes the port takes before it closes unannounced
// (0: closed from the start, -1: any number).
static void Row(const char *name, const QString &steps, const QString &shown, const QString &status,
                const QByteArray &wire = {}, int writes = -1)
{
    QTest::newRow(name) << steps << shown << status << wire << writes;
}

void TestVoxbook::typed_data()
{
    for (const char *column : {"steps", "shown", "status"})
        QTest::addColumn<QString>(column);
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("writes");
    const QString idle = u"Статус:"_s, closed = u"Порт fake не открыт"_s;
    const QString first = u"|нет|нет|нет|нет|(нет)|(нет)|(нет)|(нет)"_s;
    Row("a phrase in another case", u"Combo_d0=Сон\n"_s,
        u"E0|Сон|нет|нет|нет|(нет)|(нет)|(нет)|(нет)"_s, idle);
    Row("a prefix left by Tab", u"Combo_d2=просып\t"_s,
        u"E0|нет|нет|просып|нет|(нет)|(нет)|(нет)|(нет)"_s, idle);
    Row("a number in lower case", u"Combo_adr=e1\n"_s, u"e1"_s + first,
        u"Статус: номер сценария «e1» не из списка E0..F7, F9..FF"_s);
    // The fake port never answers, so the test ends saying so.
    const QString ended = u"Статус: нет ответа на 10 из 10 запросов к контроллеру 9C"_s;
    Row("tested: E0x is E0", u"Combo_adr=E0x|Command5"_s, u"E0x"_s + first, ended,
        Hex("F0 9C 0A FF E0 85"));
    Row("tested: 0G is 10", u"Combo_adr=0G|Command5"_s, u"0G"_s + first, ended,
        Hex("F0 9C 0A FF 10 B5"));
    Row("tested: FF", u"Combo_adr=FF\n|Command5"_s, u"FF|нет|нет|нет|нет|нет|нет|нет|нет"_s, ended,
        Hex("F0 9C 0A FF FF A4"));
    Row("tested: G0 is no byte", u"Combo_adr=G0|Command5"_s, u"G0"_s + first,
        u"Статус: номер сценария «G0» не отправить: нужно число от 0 до FF"_s);
    Row("port not open", u"Combo_adr=E0\n"_s, u"E0"_s + first, u"Статус: "_s + closed, {}, 0);
    Row("test, port not open", u"Combo_adr=E0\n|Command5"_s, u"E0"_s + first,
        u"Статус: проверка сценария не начата: "_s + closed, {}, 0);
    Row("test, port closed after three polls", u"Combo_adr=E0\n|Command5"_s, u"E0"_s + first,
        u"Статус: обмен прерван: "_s + closed,
        Hex("F0 9C 0A FF E0 85 F0 9C 01 9D F0 9C 01 9D F0 9C 01 9D"), 4);
    Row("write, not a byte", u"Combo_adr=E0\n|Command4"_s, u"E0"_s + first,
        u"Статус: регистр 5, ячейка 3 содержит 300, а не байт 0..255; запись не начата"_s);
}

// Typed with real keys: only a pick is a choice, a number is taken once on
// Enter and never turned into an entry, the scenario test sends what the
// digits are worth; what cannot be sent is refused, saying why.
void TestVoxbook::typed()
{
    QFETCH(QString, steps);
    QFETCH(QString, shown);
    QFETCH(QString, status);
    QFETCH(QByteArray, wire);
    QFETCH(int, writes);
    m_port.open = writes != 0;
    m_port.writesLeft = writes;
    init();
    m_window->image().setCell(6, 3, 300);
    const AnnouncerImage before = m_window->image();
    ShowAndType(m_window.get(), steps);
    QTRY_VERIFY(!m_window->engine().isActive());
    QCOMPARE(ListsShown(m_window.get()), shown);
    QCOMPARE(m_port.written.left(wire.size()), wire);
    QCOMPARE(m_port.written.isEmpty(), wire.isEmpty());
    QCOMPARE(this->status(), status);
    QVERIFY(m_window->image() == before);
}

// The editor's picks written and acknowledged register by register, read
// back, and scenario F0 played and polled to its end, then again while the
// announcer falls silent. (A write it does not answer: TestRegisterTransfer.)
void TestVoxbook::onTheBus()
{
    QCOMPARE(VoxbookOptions().pollInterval, 1500ms); // the program's own periods
    QCOMPARE(VoxbookOptions().tick, 250ms);
    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    BusPort port;
    QVERIFY2(port.open(sim.device()), qPrintable(port.errorText()));
    const auto closeFirst = startOn(&port, 100ms, 150ms);
    // Codes within the vocabulary and beyond, and bytes that need stuffing.
    const QList<qint16> row1{0x0F, 0x34, 0x35, 0x10, 0, 0, 0, 0x70};
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            m_window->image().setCell(row, slot,
                                      row == 1 ? row1[slot] : qint16((row * 37 + slot * 11) % 256));
    m_window->image().setCell(9, 0, 0xF0);
    // A pick is a choice, the same text typed is not; 10 is no phrase: shown
    // as "нет", kept in the image.
    ShowAndType(m_window.get(), u"Combo_adr=E1\n|>Combo_d4=сон|Combo_d5=сон\n|Combo_adr=E0\n"_s);
    QCOMPARE(shown(), u"сказать время|температура|на улице|нет|(сон)|(нет)|(нет)|(ВНИМАНИЕ)"_s);
    const AnnouncerImage composed = m_window->image();
    QVERIFY(m_window->minimumSize() == m_window->maximumSize()); // a form of fixed size
    QTest::keyClick(m_window->findChild<QPushButton *>(u"Command4"_s), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->engine().isActive(), 5000);
    QCOMPARE(status(), u"Статус:"_s + QString(27, u' ')); // every register acknowledged
    QCOMPARE(sim.requests().first(), Hex("F0 9C 08 00 0F 34 35 10 38 00 00 70 D4"));
    const QList<bussim::Register> &registers = sim.network().registers(0x9C);
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot)
            QCOMPARE(int(registers[row - 1][size_t(slot)]), int(composed.cell(row, slot)));

    m_window->image() = AnnouncerImage();
    click(u"Command3"_s);
    click(u"Command5"_s); // a test or a run pressed during a read run starts nothing
    QCOMPARE(status(), u"Статус: идёт обмен с контроллером; новый не начат"_s);
    click(u"Command4"_s);
    QCOMPARE(status(), u"Статус: идёт обмен с контроллером; новый не начат"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->engine().isActive(), 5000);
    QVERIFY(m_window->image() == composed);

    const RegisterTransfer &engine = m_window->engine();
    TypeAll(m_window.get(), u"Combo_adr=F0\n|Command5"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!engine.isActive(), 5000);
    QCOMPARE(status(), u"Статус:"_s + QString(32, u' ')); // every request answered
    // Again: the announcer answers the play request and four polls, no more.
    QStringList texts; // the status line after each tick of the poll timer
    connect(&engine.Timer1(), &QTimer::timeout, this, [&] {
        texts.append(status());
        sim.network().setAbsent(0x9C, texts.size() >= 5);
    });
    const qsizetype sent = sim.requests().size();
    TypeAll(m_window.get(), u"Command5|Command5|Command3|Command4|Command2"_s);
    QCOMPARE(status(), u"Статус: идёт обмен с контроллером; файл не записан"_s);
    QCOMPARE(engine.Timer1().interval(), 150);
    QTRY_VERIFY_WITH_TIMEOUT(!engine.isActive(), 5000);
    QVERIFY(sim.events().contains(u"9C: scenario F0 played"_s));
    QCOMPARE(sim.requests().mid(sent).join(),
             Hex("F0 9C 0A FF F0 11 A6") + Hex("F0 9C 01 9D").repeated(10));
    QCOMPARE(texts, (QStringList{u"Статус: OK--0"_s, u"Статус: OK--1"_s, u"Статус: OK--2"_s,
                                 u"Статус: OK--3"_s, u"Статус: OK--4"_s, u"Статус: нет ответа--5"_s,
                                 u"Статус: нет ответа--6"_s, u"Статус: нет ответа--7"_s,
                                 u"Статус: нет ответа--8"_s,
                                 u"Статус: нет ответа на 5 из 10 запросов к контроллеру 9C"_s}));
    QCOMPARE(engine.Timer1().interval(), 100); // the write run's tick again
}

void TestVoxbook::portVanishes_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("requests"); // the port vanishes during the last of them
    QTest::newRow("write run") << u"Command4"_s << 6;
    QTest::newRow("read run") << u"Command3"_s << 6;
    QTest::newRow("scenario test: play request and three polls") << u"Command5"_s << 4;
}

// The adapter pulled while request `requests` is on its way: the run ends at
// once with the port's failure on the status line and both timers stopped, and
// a write run then says why it cannot start. What the editor holds stays, but
// for the registers the run reported read ("in--n") before: only those may
// differ, since a reply that a loaded machine judged too late is reported
// otherwise.
void TestVoxbook::portVanishes()
{
    QFETCH(QString, button);
    QFETCH(int, requests);
    auto sim = std::make_unique<SimHarness>();
    QVERIFY2(sim->ok(), qPrintable(sim->error()));
    BusPort port;
    QVERIFY2(port.open(sim->device()), qPrintable(port.errorText()));
    const auto closeFirst = startOn(&port, 40ms);
    QList<bussim::Register> &registers = sim->network().registers(0x9C);
    for (int row = 1; row <= 24; ++row)
        for (int slot = 0; slot < 8; ++slot) {
            registers[row - 1][size_t(slot)] = quint8(row * 8 + slot - 7);
            m_window->image().setCell(row, slot, qint16(0xF0 - row));
        }
    const QList<bussim::Register> held = registers;
    const AnnouncerImage composed = m_window->image();
    AnnouncerImage expected = composed;
    const RegisterTransfer &engine = m_window->engine();
    connect(&engine, &RegisterTransfer::statusChanged, m_window.get(), [&](const QString &text) {
        if (const int row = text.section(u"in--"_s, 1).toInt(); row > 0)
            for (int slot = 0; slot < 8; ++slot)
                expected.setCell(row, slot, qint16(held[row - 1][size_t(slot)]));
    });
    const QString failed = u"Порт %1 отказал и закрыт: устройство отключено"_s.arg(sim->device());
    PullAdapterAt(sim, requests, 0x9C, m_window.get());
    click(button);
    QTRY_VERIFY_WITH_TIMEOUT(!sim, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!engine.isActive(), 5000);
    QVERIFY(!engine.Timer1().isActive() && !engine.Timer2().isActive());
    QCOMPARE(status(), u"Статус: обмен прерван: "_s + failed);
    click(u"Command4"_s);
    QCOMPARE(status(), u"Статус: запись в контроллер не начата: "_s + failed);
    QCOMPARE(engine.Timer1().interval(), 40); // the scenario test's 1.5 s is undone
    QVERIFY(m_window->image() == expected);
    QCOMPARE(expected == composed, button != u"Command3"_s); // a read run read some first
}

QTEST_MAIN(TestVoxbook)
#include "tst_voxbook.moc"
