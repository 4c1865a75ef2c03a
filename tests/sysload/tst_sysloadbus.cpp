// The window, driven by object name, against the simulated network on a real
// pseudo-terminal: the start-up load, the judgement of each reply, the
// frames of the write run, the runs' safeguards, and a whole backup restored
// into a blank network.
#include "mainwindow.h"
#include "simharness.h"

#include "testbytes.h"
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using bussim::Fault;
using OptionalFault = std::optional<Fault>;

namespace {
// Short enough for whole 744-register runs in the suite, long enough for the
// simulator's answer in this same thread: a reply is stored within a few ms
// (mostly the burst gap), and 12 ms held under the sanitizers with six busy
// processes sharing two cores.
constexpr auto TestUnit = 12ms;
constexpr auto TestBurstGap = 2ms;

constexpr int Board01 = 1, Indicator80 = 8; // image slots

// The status line's texts as the installer reads them, blanks counted.
QString CountLine(int errors)
{
    return QStringLiteral("Произошло       %1       ошибок").arg(errors);
}
const QString ResetLine = u"Статус:"_qs + QString(63, u' ');

RegisterValues Values(std::initializer_list<int> bytes)
{
    RegisterValues values{};
    std::copy(bytes.begin(), bytes.end(), values.begin());
    return values;
}

// Every register of the twenty known controllers gets its own bytes, among
// them the start, reply and stuffing bytes; every presence marker is not 0.
void FillVaried(bussim::Network &network)
{
    quint32 seed = 12345;
    for (const ControllerSlot &slot : ControllerSlots()) {
        for (bussim::Register &reg : network.registers(slot.address))
            for (quint8 &byte : reg) {
                seed = seed * 1103515245u + 12345u;
                const quint8 special[] = {0xF0, 0x11, 0xF8};
                byte = (seed >> 16) % 8 < 3 ? special[(seed >> 16) % 8] : quint8(seed >> 8);
            }
        network.registers(slot.address)[0][0] = quint8(slot.address + 1);
    }
}
} // namespace

class TestSysloadBus : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void windowStartingWithoutFileOrPort();
    void startLoad_data();
    void startLoad();
    void readReply_data();
    void readReply();
    void noBoxTickedStillWritesWholeFile();
    void writeRun_data();
    void writeRun();
    void pressesDuringRunIgnoredAndCloseEndsIt();
    void failedSaveCanBeRetried();
    void portVanishingEndsRun();
    void backupAndRestoreWholeNetwork();

private:
    std::unique_ptr<MainWindow> makeWindow(const QString &device, const QString &imagePath = {});
    std::unique_ptr<MainWindow> makeWindow(SimHarness &sim) { return makeWindow(sim.device()); }
    QString text(const MainWindow &window, const char *name);
    QRect place(const MainWindow &window, const char *name)
    {
        return window.findChild<QWidget *>(QString::fromLatin1(name))->geometry();
    }
    void click(MainWindow &window, const char *button)
    {
        QTest::mouseClick(window.findChild<QPushButton *>(QString::fromLatin1(button)),
                          Qt::LeftButton);
    }
    void tick(MainWindow &window, const char *box)
    {
        window.findChild<QCheckBox *>(QString::fromLatin1(box))->setChecked(true);
    }
    QStringList ticked(const MainWindow &window);
    QString path() const { return m_dir.filePath(QStringLiteral("sysload.txt")); }

    QTemporaryDir m_dir;
    QList<QStringList> m_boxes; // title, text, buttons of each message box shown
    std::function<int(int shown)> m_answer;
};

void TestSysloadBus::init()
{
    QFile::remove(path());
    m_boxes.clear();
    m_answer = nullptr;
}

std::unique_ptr<MainWindow> TestSysloadBus::makeWindow(const QString &device,
                                                       const QString &imagePath)
{
    SysloadOptions options;
    options.waitUnit = TestUnit;
    options.burstGap = TestBurstGap;
    options.device = device;
    options.imagePath = imagePath.isEmpty() ? path() : imagePath;
    auto window = std::make_unique<MainWindow>(options);
    window->setMessageHook([this](QMessageBox &box) {
        m_boxes << QStringList{box.windowTitle(), box.text(),
                               QString::number(box.buttons().size())};
        return m_answer ? m_answer(int(m_boxes.size())) : int(QMessageBox::Ok);
    });
    window->Form_Load();
    return window;
}

QString TestSysloadBus::text(const MainWindow &window, const char *name)
{
    QWidget *found = window.findChild<QWidget *>(QString::fromLatin1(name));
    if (auto *label = qobject_cast<QLabel *>(found))
        return label->text();
    auto *button = qobject_cast<QAbstractButton *>(found);
    return button ? button->text() : QString();
}

QStringList TestSysloadBus::ticked(const MainWindow &window)
{
    QStringList names;
    for (const QCheckBox *box : window.findChildren<QCheckBox *>())
        if (box->isChecked())
            names << box->objectName();
    return names;
}

void TestSysloadBus::windowStartingWithoutFileOrPort()
{
    const auto window = makeWindow(m_dir.filePath(QStringLiteral("no-such-port")));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(m_boxes,
             QList({QStringList{u"sysload"_qs, u"Ошибка, нет готового файла"_qs, u"1"_qs}}));
    QVERIFY(ticked(*window).isEmpty());
    QVERIFY(window->systemImage() == SystemImage());
    // The status line names both the port and the file, each with its reason.
    const QString status = text(*window, "Label2");
    QVERIFY2(status.contains(u"no-such-port"_qs) && status.contains(u"sysload.txt"_qs),
             qPrintable(status));
    QVERIFY(window->findChild<QObject *>(u"MSComm1"_qs));

    QCOMPARE(window->objectName(), u"Form1"_qs);
    QCOMPARE(window->windowTitle(), u"умный дом"_qs);
    QCOMPARE(text(*window, "Label1"),
             u"Программа чтения и записи ЕЕ контроллеров системы умного дома"_qs);
    QCOMPARE(text(*window, "Command1"), u"система в файл sysload.txt"_qs);
    QCOMPARE(text(*window, "Command2"), u"из файла sysload.txt в систему"_qs);
    QCOMPARE(text(*window, "adr_00"), u"контроллер адрес $00"_qs);
    QCOMPARE(text(*window, "adr_87"), u"индикатор часовой $87"_qs);
    QCOMPARE(text(*window, "adr_90"), u"клавиатурный $90"_qs);
    QCOMPARE(text(*window, "adr_98"), u"системный $98"_qs);
    QCOMPARE(text(*window, "adr_9c"), u"говорилка $9C"_qs);
    QCOMPARE(text(*window, "adr_9d"), u"контроллер SMS $9D"_qs);

    // Boards left, indicators right, row by row; 90 beside 98, then 9C beside
    // 9D; the buttons side by side below them, the status line at the bottom.
    const auto beside = [&](const char *left, const char *right) {
        return place(*window, left).top() == place(*window, right).top() &&
               place(*window, left).right() < place(*window, right).left();
    };
    const auto below = [&](const char *lower, const char *upper) {
        return place(*window, lower).top() > place(*window, upper).bottom();
    };
    for (int i = 0; i < 8; ++i) {
        const QByteArray board = "adr_0" + QByteArray::number(i);
        QVERIFY(beside(board, "adr_8" + QByteArray::number(i)));
        QVERIFY(i == 0 || below(board, "adr_0" + QByteArray::number(i - 1)));
    }
    QVERIFY(beside("adr_90", "adr_98") && below("adr_90", "adr_07"));
    QVERIFY(beside("adr_9c", "adr_9d") && below("adr_9c", "adr_90"));
    QVERIFY(beside("Command1", "Command2") && below("Command1", "adr_9c"));
    QVERIFY(below("Label2", "Command1"));
    for (QAbstractButton *control : window->findChildren<QAbstractButton *>())
        QVERIFY2(control->width() >= control->sizeHint().width(),
                 qPrintable(control->objectName()));
    window->grab().save(QStringLiteral("/tmp/sysload-window.png"));

    // A run without the port says so, naming the device, and counts nothing.
    tick(*window, "adr_00");
    click(*window, "Command1");
    QVERIFY(text(*window, "Label2").contains(u"no-such-port"_qs));
    QCOMPARE(window->loader().errorCount(), 0);
    QVERIFY(!QFile::exists(path()));
}

void TestSysloadBus::startLoad_data()
{
    QTest::addColumn<int>("keepLines");       // lines of the saved file kept
    QTest::addColumn<QByteArray>("line4580"); // what stands on line 4580 (slot 12, value 4)
    QTest::addColumn<QStringList>("tickedBoxes");
    QTest::addColumn<QString>("statusPart"); // empty: no message box

    QTest::newRow("whole file") << 6716 << QByteArray() << QStringList{u"adr_80"_qs, u"adr_9d"_qs}
                                << QString();
    QTest::newRow("ends inside slot 12")
        << 4580 << QByteArray() << QStringList() << u"sysload.txt, строка 4581"_qs;
    QTest::newRow("a value that is no number")
        << 6716 << QByteArray("12a") << QStringList() << u"sysload.txt, строка 4580"_qs;
}

// Ticks exactly the slots whose first value of register 0 is not 0; a file
// that fails part-way keeps what was read, ticks nothing and says so once.
void TestSysloadBus::startLoad()
{
    QFETCH(int, keepLines);
    QFETCH(QByteArray, line4580);
    QFETCH(QStringList, tickedBoxes);
    QFETCH(QString, statusPart);

    SystemImage image;
    image.at(Indicator80, 0)[0] = 1;
    image.at(19, 0)[0] = -3; // telephone: any value but 0 marks it
    image.at(0, 0)[1] = 9;   // board 00: only the first byte is the marker
    QVERIFY(SaveImageFile(image, path()).isEmpty());
    QFile file(path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = file.readAll().split('\n').first(keepLines);
    file.close();
    if (!line4580.isEmpty())
        lines[4580 - 1] = line4580 + '\r';
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(lines.join('\n') + '\n');
    file.close();

    const auto window = makeWindow(QString());
    QCOMPARE(ticked(*window), tickedBoxes);
    QCOMPARE(window->systemImage().at(Indicator80, 0)[0], 1); // read before any failure
    if (statusPart.isEmpty()) {
        QVERIFY(m_boxes.isEmpty());
        return;
    }
    QCOMPARE(m_boxes,
             QList({QStringList{u"sysload"_qs, u"Ошибка, нет готового файла"_qs, u"1"_qs}}));
    QVERIFY2(text(*window, "Label2").contains(statusPart), qPrintable(text(*window, "Label2")));
}

void TestSysloadBus::readReply_data()
{
    QTest::addColumn<RegisterValues>("held"); // indicator 80's registers in the network
    QTest::addColumn<OptionalFault>("fault");
    QTest::addColumn<bool>("absent");
    QTest::addColumn<int>("errors");

    const RegisterValues some = Values({0x01, 0x11, 0xF8, 0x00, 0xF0, 0x7F, 0x80, 0xFF});
    const auto once = [](Fault::Kind kind) {
        return OptionalFault(Fault{kind, 0, 0, 1});
    };
    QTest::newRow("all data F0: 21 bytes")
        << Values({0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0}) << OptionalFault() << false
        << 0;
    QTest::newRow("stuffed and plain") << some << OptionalFault() << false << 0;
    QTest::newRow("another register, rightly summed")
        << some << once(Fault::Kind::OtherRegister) << false << 1;
    QTest::newRow("wrong checksum") << some << once(Fault::Kind::BadChecksum) << false << 1;
    QTest::newRow("another address") << some << once(Fault::Kind::OtherAddress) << false << 1;
    QTest::newRow("other traffic first") << some << once(Fault::Kind::Foreign) << false << 1;
    QTest::newRow("absent indicator") << some << OptionalFault() << true << 9;
}

void TestSysloadBus::readReply()
{
    QFETCH(RegisterValues, held);
    QFETCH(OptionalFault, fault);
    QFETCH(bool, absent);
    QFETCH(int, errors);

    SimHarness sim;
    QVERIFY2(sim.ok(), qPrintable(sim.error()));
    for (bussim::Register &reg : sim.network().registers(0x80))
        std::copy(held.begin(), held.end(), reg.begin());
    if (fault)
        sim.setFault(0x80, *fault);
    sim.network().setAbsent(0x80, absent);

    const auto window = makeWindow(sim);
    // A failed register keeps what the image held, in memory and in the file.
    const RegisterValues before = Values({9, 8, 7, 6, 5, 4, 3, 2});
    for (int n = 0; n < 9; ++n)
        window->systemImage().at(Indicator80, n) = before;
    tick(*window, "adr_80");
    QSignalSpy status(&window->loader(), &SystemLoader::statusChanged);
    click(*window, "Command1");

    QCOMPARE(window->loader().errorCount(), errors);
    QCOMPARE(sim.requests().size(), 9);
    QCOMPARE(sim.requests().at(8), Hex("F0 80 07 08 8F"));
    QCOMPARE(window->systemImage().at(Indicator80, 0), errors == 0 ? held : before);
    QCOMPARE(window->systemImage().at(Indicator80, 8), absent ? before : held);
    QVERIFY(status.contains({errors == 0
                                 ? u"Чтение из системы адреса $80   регистра $0  OK  "_qs
                                 : u"Чтение из системы адреса $80   регистра $0     ERROR"_qs}));
    QVERIFY(status.contains({absent ? u"Чтение из системы адреса $80   регистра $8     ERROR"_qs
                                    : u"Чтение из системы адреса $80   регистра $8  OK  "_qs}));
    QCOMPARE(status.at(status.size() - 2).at(0).toString(), CountLine(errors));
    QCOMPARE(text(*window, "Label2"), ResetLine);
    SystemImage saved;
    QCOMPARE(LoadImageFile(saved, path()), QString());
    QVERIFY(saved == window->systemImage());
}

void TestSysloadBus::noBoxTickedStillWritesWholeFile()
{
    SimHarness sim;
    const auto window = makeWindow(sim);
    for (int slot = 0; slot < SlotCount; ++slot)
        window->systemImage().at(slot, 0).fill(qint16(slot + 1));
    QSignalSpy status(&window->loader(), &SystemLoader::statusChanged);
    // Presses while the count is on show start nothing, even with a box ticked now.
    QTimer::singleShot(5 * TestUnit, window.get(), [&] {
        tick(*window, "adr_00");
        click(*window, "Command2");
        click(*window, "Command1");
    });
    click(*window, "Command1");

    QVERIFY(sim.requests().isEmpty());
    QCOMPARE(status.size(), 2);
    QCOMPARE(status.at(0).at(0).toString(), CountLine(0));
    QCOMPARE(status.at(1).at(0).toString(), ResetLine);
    QFile file(path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count("\r\n"), 6716);
    SystemImage saved;
    QCOMPARE(LoadImageFile(saved, path()), QString());
    for (int slot = 0; slot < SlotCount; ++slot)
        QCOMPARE(saved.at(slot, 0),
                 Values({0, slot + 1, slot + 1, slot + 1, slot + 1, slot + 1, slot + 1, slot + 1}));
}

void TestSysloadBus::writeRun_data()
{
    QTest::addColumn<OptionalFault>("fault");
    QTest::addColumn<int>("badValue"); // put into register 30: not a byte, never sent
    QTest::addColumn<int>("errors");

    QTest::newRow("acknowledged") << OptionalFault() << 0 << 0;
    QTest::newRow("acknowledgement with a wrong checksum")
        << OptionalFault(Fault{Fault::Kind::BadChecksum, 0, 0, -1}) << 0 << 0;
    QTest::newRow("no reply twice") << OptionalFault(Fault{Fault::Kind::Silent, 0, 0, 2}) << 0 << 2;
    QTest::newRow("reply code 02")
        << OptionalFault(Fault{Fault::Kind::ReplyCode, 2, 0, 1}) << 0 << 1;
    QTest::newRow("another address")
        << OptionalFault(Fault{Fault::Kind::OtherAddress, 0, 0, 1}) << 0 << 1;
    QTest::newRow("value 256 in the image") << OptionalFault() << 256 << 1;
    QTest::newRow("value -1 in the image") << OptionalFault() << -1 << 1;
}

void TestSysloadBus::writeRun()
{
    QFETCH(OptionalFault, fault);
    QFETCH(int, badValue);
    QFETCH(int, errors);

    SimHarness sim;
    if (fault)
        sim.setFault(0x01, *fault);
    const auto window = makeWindow(sim);
    window->systemImage().at(Board01, 0) = Values({0xF0, 0, 0, 0, 0, 0, 0, 0});
    window->systemImage().at(Board01, 59) = Values({0x11, 0xF0, 0xF0, 3, 4, 5, 6, 0xFF});
    window->systemImage().at(Board01, 30)[7] = qint16(badValue);
    const SystemImage before = window->systemImage();
    tick(*window, "adr_01");
    QSignalSpy status(&window->loader(), &SystemLoader::statusChanged);
    click(*window, "Command2");

    QCOMPARE(sim.requests().size(), badValue == 0 ? 60 : 59);
    QCOMPARE(sim.requests().at(0), Hex("F0 01 08 00 F0 11 00 00 00 00 00 00 00 0A"));
    QCOMPARE(sim.network().registers(0x01)[59],
             (bussim::Register{0x11, 0xF0, 0xF0, 3, 4, 5, 6, 0xFF}));
    QCOMPARE(window->loader().errorCount(), errors);
    QVERIFY(window->systemImage() == before);
    const QString line = badValue != 0 ? u"запись в систему адреса $1   регистра $1E  ERROR"_qs
                         : errors == 0 ? u"запись в систему адреса $1   регистра $0     OK"_qs
                                       : u"запись в систему адреса $1   регистра $0  ERROR"_qs;
    QVERIFY2(status.contains({line}), qPrintable(line));
    QCOMPARE(status.contains({CountLine(errors)}), errors != 0);
    QCOMPARE(text(*window, "Label2"), ResetLine);
    QVERIFY(!QFile::exists(path())); // the write run never touches the file
}

void TestSysloadBus::pressesDuringRunIgnoredAndCloseEndsIt()
{
    SimHarness sim;
    const auto window = makeWindow(sim);
    window->show();
    tick(*window, "adr_00");
    QTimer::singleShot(3 * TestUnit, window.get(), [&] {
        click(*window, "Command2");
        click(*window, "Command1");
    });
    QTimer::singleShot(6 * TestUnit, window.get(), &QWidget::close);
    click(*window, "Command1");

    QVERIFY(!window->isVisible() && !window->loader().isRunning());
    QVERIFY(sim.requests().size() < 10);
    for (const QByteArray &request : sim.requests())
        QCOMPARE(request.at(2), char(0x07)); // no write slipped in
    QVERIFY(!QFile::exists(path()));         // nothing is saved on closing
}

void TestSysloadBus::failedSaveCanBeRetried()
{
    SimHarness sim;
    const QString folder = m_dir.filePath(QStringLiteral("later"));
    const auto window = makeWindow(sim.device(), folder + QStringLiteral("/sysload.txt"));
    m_boxes.clear();
    m_answer = [&](int shown) {
        if (shown == 1)
            return int(QMessageBox::Retry); // once more, still no folder
        QDir().mkpath(folder);
        return int(QMessageBox::Retry);
    };
    tick(*window, "adr_81");
    click(*window, "Command1");
    QCOMPARE(m_boxes.size(), 2);
    QVERIFY(m_boxes.at(0).at(1).contains(u"sysload.txt"_qs));
    QCOMPARE(sim.requests().size(), 9); // the network was read once
    QVERIFY(QFile::exists(folder + QStringLiteral("/sysload.txt")));

    // Given up, the reason stays on the status line after the count.
    QDir(folder).removeRecursively();
    m_answer = [](int) {
        return int(QMessageBox::Cancel);
    };
    click(*window, "Command1");
    QCOMPARE(text(*window, "Label2"), m_boxes.last().at(1).section(u'\n', 0, 0));
}

void TestSysloadBus::portVanishingEndsRun()
{
    auto sim = std::make_unique<SimHarness>();
    const auto window = makeWindow(*sim);
    tick(*window, "adr_00");
    QTimer::singleShot(5 * TestUnit, window.get(), [&] { sim.reset(); });
    click(*window, "Command1");
    QVERIFY(text(*window, "Label2").contains(u"чтение прервано"_qs));
    QVERIFY(window->loader().errorCount() < 10);
    QVERIFY(!QFile::exists(path()));
}

void TestSysloadBus::backupAndRestoreWholeNetwork()
{
    SimHarness house;
    FillVaried(house.network());
    {
        const auto window = makeWindow(house);
        for (const ControllerSlot &slot : ControllerSlots())
            tick(*window, slot.checkBox);
        QSignalSpy status(&window->loader(), &SystemLoader::statusChanged);
        QElapsedTimer clock;
        clock.start();
        click(*window, "Command1");
        qInfo("read run of 744 registers at %lld ms a unit: %lld ms", qint64(TestUnit.count()),
              clock.elapsed());
        QCOMPARE(house.requests().size(), TotalRegisters);
        QCOMPARE(window->loader().errorCount(), 0);
        QVERIFY(status.contains({u"Чтение из системы адреса $0   регистра $3B  OK  "_qs}));
    }

    SimHarness blank;
    const auto window = makeWindow(blank);
    QCOMPARE(m_boxes.size(), 1); // only the first start found no file
    QCOMPARE(ticked(*window).size(), SlotCount);
    QSignalSpy status(&window->loader(), &SystemLoader::statusChanged);
    click(*window, "Command2");
    QCOMPARE(blank.requests().size(), TotalRegisters);
    QCOMPARE(window->loader().errorCount(), 0);
    QVERIFY(status.contains({u"запись в систему адреса $9C   регистра $17     OK"_qs}));
    QCOMPARE(status.last().at(0).toString(), ResetLine); // no count after a clean run
    QVERIFY(blank.network().sameContents(house.network()));
}

QTEST_MAIN(TestSysloadBus)
#include "tst_sysloadbus.moc"
