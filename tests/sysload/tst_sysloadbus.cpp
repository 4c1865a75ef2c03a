// The image file's exact lines, then the window, driven by object name,
// against the simulated network on a real pseudo-terminal: the start-up load,
// the judgement of each reply, the frames of the write run, the runs'
// safeguards and interruptions, and a whole backup restored into a blank network.
#include "mainwindow.h"
#include "simharness.h"
#include "waitclock.h"

#include "testbytes.h"
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using bussim::Fault;
using OptionalFault = std::optional<Fault>;
using Kind = Fault::Kind;
using Button = QAbstractButton;

namespace {
// The wait unit of the runs whose replies are judged. The simulator answers
// in this same thread within a few milliseconds, but on two cores busy with a
// build the test process is now and then held off for 10 to 30 ms; a reply
// that misses its wait is read in front of the next one, so one stall fails a
// run of registers. 40 ms keeps the reply inside its wait through such stalls.
constexpr auto TestUnit = 40ms;
// The whole-network restore only counts its requests and compares what the
// controllers stored, which a late acknowledgement does not change; it may
// run at a fraction of the unit.
constexpr auto RestoreUnit = 10ms;

// The status line after a run, as the installer reads it: 63 blanks.
const QString ResetLine = u"Статус:"_qs + QString(63, u' ');

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The first `count` values in file order numbered, many above a byte; only
// slots 8 and 19 marked.
SystemImage Pattern(int count)
{
    SystemImage image;
    for (int slot = 0, k = 0; slot < SlotCount; ++slot) {
        const int marker = slot == 8 ? 1 : slot == 19 ? -3 : 0;
        for (int n = 0; n < ControllerSlots()[std::size_t(slot)].registerCount; ++n)
            for (std::size_t j = 0; j < 8 && ++k <= count; ++j)
                image.at(slot, n)[j] = qint16(n > 0 || j > 0 ? k % 1000 : marker);
    }
    return image;
}
} // namespace

class TestSysloadBus : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QStringList m_lines;                    // every status text a run has put up
    QList<QStringList> m_boxes;             // title, text, buttons of each message box shown
    std::function<int(int shown)> m_answer; // unset: Cancel

    static QString countLine(int n) { return u"Произошло       %1       ошибок"_qs.arg(n); }
    static OptionalFault spoil(Kind k, int count = 1, int v = 0) { return Fault{k, v, 0, count}; }
    QString path() const { return m_dir.filePath(QStringLiteral("sysload.txt")); }
    QString status(const MainWindow &w) { return w.findChild<QLabel *>(u"Label2"_qs)->text(); }
    void press(QWidget &w, const char *n) { w.findChild<Button *>(QLatin1String(n))->click(); }

    // A started window whose status texts and message boxes are recorded afresh.
    std::unique_ptr<MainWindow> makeWindow(const QString &device, const QString &imagePath = {},
                                           std::chrono::milliseconds unit = TestUnit,
                                           std::chrono::milliseconds burstGap = 2ms)
    {
        m_lines.clear();
        m_boxes.clear();
        m_answer = nullptr;
        auto window = std::make_unique<MainWindow>(
            SysloadOptions{unit, burstGap, device, imagePath.isEmpty() ? path() : imagePath});
        connect(&window->loader(), &SystemLoader::statusChanged, this,
                [this](const QString &text) { m_lines << text; });
        window->setMessageHook([this](QMessageBox &box) {
            m_boxes << QStringList{box.windowTitle(), box.text(),
                                   QString::number(box.buttons().size())};
            return m_answer ? m_answer(int(m_boxes.size())) : int(QMessageBox::Cancel);
        });
        window->Form_Load();
        return window;
    }

private slots:
    void init() { QFile::remove(path()); }

    void fileLines_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("text");
        QTest::newRow("first header") << 1 << u"\"Адрес  универсального контроллера - 0\""_qs;
        QTest::newRow("label 3B") << 533 << u"\"регистр-3B\""_qs;
        QTest::newRow("indicator 80") << 4329 << u"\"Адрес  контроллера индикатора - 80\""_qs;
        QTest::newRow("keys") << 4985 << u"\"Адрес  контроллера клавиатурного - 90\""_qs;
        QTest::newRow("synchroniser") << 5526 << u"\"Адрес  контроллера системного - 98\""_qs;
        QTest::newRow("announcer") << 6013 << u"\"Адрес  контроллера говорилки - 9C\""_qs;
        QTest::newRow("telephone") << 6230 << u"\"Адрес  контроллера СМС - 9D\""_qs;
        QTest::newRow("negative value") << 6232 << u"-3"_qs;
        QTest::newRow("last value") << 6716 << u"952"_qs;
    }

    // Windows-1251, CR LF, one item a line, 6716 lines.
    void fileLines()
    {
        QFETCH(int, line);
        QFETCH(QString, text);
        QVERIFY(SaveImageFile(Pattern(744 * 8), path()).isEmpty());
        const QList<QByteArray> lines = Contents(path()).split('\n');
        QCOMPARE(lines.size(), 6716 + 1);
        QCOMPARE(lines.at(line - 1), QStringEncoder("windows-1251").encode(text) + '\r');
    }

    void startLoad_data()
    {
        QTest::addColumn<int>("keepLines");   // of the saved file; 0: no file
        QTest::addColumn<int>("changedLine"); // 4576: slot 12's first label, 4580: a value
        QTest::addColumn<QByteArray>("changedTo");
        QTest::addColumn<QString>("fileReason"); // empty: no message box
        QTest::addColumn<int>("valuesRead");     // in file order

        QTest::newRow("whole file") << 6716 << 0 << QByteArray() << QString() << 744 * 8;
        QTest::newRow("edited label") << 6716 << 4576 << QByteArray("\"\"") << QString() << 744 * 8;
        QTest::newRow("no file") << 0 << 0 << QByteArray() << u"no-such-port"_qs << 0;
        // Slots 1-11 hold 8 x 60 + 3 x 9 registers; slot 12's values start at line 4577.
        QTest::newRow("ends inside slot 12")
            << 4580 << 0 << QByteArray() << u"sysload.txt, строка 4581"_qs << 507 * 8 + 4;
        QTest::newRow("a value that is no number")
            << 6716 << 4580 << QByteArray("12a") << u"sysload.txt, строка 4580"_qs << 507 * 8 + 3;
    }

    // Ticks exactly the slots whose first value of register 0 is not 0; a file
    // that fails keeps what was read, ticks nothing and says so once. The port
    // is missing: the status names it beside the file.
    void startLoad()
    {
        QFETCH(int, keepLines);
        QFETCH(int, changedLine);
        QFETCH(QByteArray, changedTo);
        QFETCH(QString, fileReason);
        QFETCH(int, valuesRead);

        QVERIFY(SaveImageFile(Pattern(744 * 8), path()).isEmpty());
        QList<QByteArray> lines = Contents(path()).split('\n').first(keepLines);
        if (changedLine > 0)
            lines[changedLine - 1] = changedTo + '\r';
        QFile file(path());
        QVERIFY(file.remove() && (keepLines == 0 || (file.open(QIODevice::WriteOnly) &&
                                                     file.write(lines.join('\n') + '\n') > 0)));
        file.close();

        const auto window = makeWindow(m_dir.filePath(QStringLiteral("no-such-port")));
        for (const QCheckBox *box : window->findChildren<QCheckBox *>())
            QCOMPARE(box->isChecked(), fileReason.isEmpty() && (box->objectName() == u"adr_80"_qs ||
                                                                box->objectName() == u"adr_9d"_qs));
        QVERIFY(window->systemImage() == Pattern(valuesRead));
        const QList<QStringList> boxes{{u"sysload"_qs, u"Ошибка, нет готового файла"_qs, u"1"_qs}};
        QCOMPARE(m_boxes, fileReason.isEmpty() ? QList<QStringList>() : boxes);
        // No file at all is the message box's alone; the port is still named.
        QVERIFY(status(*window).contains(u"no-such-port"_qs));
        QCOMPARE(status(*window).contains(u"sysload.txt"_qs),
                 keepLines != 0 && !fileReason.isEmpty());
        QVERIFY(status(*window).contains(fileReason));
    }

    void readRun_data()
    {
        QTest::addColumn<bool>("ticked");         // indicator 80, all its registers F0 x 8
        QTest::addColumn<OptionalFault>("fault"); // on its replies
        QTest::addColumn<int>("checksumOffset");  // added to the first reply's checksum
        QTest::addColumn<int>("errors");          // its first registers fail
        QTest::newRow("all data F0: 21 bytes") << true << OptionalFault() << 0 << 0;
        QTest::newRow("another register, rightly summed")
            << true << spoil(Kind::OtherRegister) << 0 << 1;
        // One below its own sum is the sum for the register asked for: only
        // the register number in the reply tells it apart.
        QTest::newRow("another register, summed as the one asked for")
            << true << spoil(Kind::OtherRegister) << 0xFF << 1;
        QTest::newRow("wrong checksum") << true << spoil(Kind::BadChecksum) << 0 << 1;
        QTest::newRow("another address") << true << spoil(Kind::OtherAddress) << 0 << 1;
        QTest::newRow("other traffic first") << true << spoil(Kind::Foreign) << 0 << 1;
        QTest::newRow("absent indicator") << true << spoil(Kind::Silent, -1) << 0 << 9;
        QTest::newRow("no box ticked") << false << OptionalFault() << 0 << 0;
    }

    // A failed register keeps what the image held, in memory and in the file;
    // an unticked slot loses its marker. Presses during the run and during the
    // count start nothing.
    void readRun()
    {
        QFETCH(bool, ticked);
        QFETCH(OptionalFault, fault);
        QFETCH(int, checksumOffset);
        QFETCH(int, errors);

        SimHarness sim;
        for (bussim::Register &reg : sim.network().registers(0x80))
            reg.fill(0xF0);
        if (fault)
            sim.setFault(0x80, *fault);
        if (checksumOffset != 0)
            sim.network().addFault(0x80, *spoil(Kind::BadChecksum, 1, checksumOffset));
        const auto window = makeWindow(sim.device());
        QCOMPARE(status(*window), u"Статус:"_qs); // no file: said by the message box alone
        SystemImage &image = window->systemImage();
        for (int slot = 0; slot < SlotCount; ++slot)
            for (int n = 0; n < 9; ++n)
                image.at(slot, n) = {9, 8, 7, 6, 5, 4, 3, 2};
        SystemImage expected = image;
        for (int slot = 0; slot < SlotCount; ++slot)
            expected.at(slot, 0)[0] = qint16(ticked && slot == 8 ? 9 : 0);
        QStringList lines;
        for (int n = 0; ticked && n < 9; ++n) {
            if (n >= errors)
                expected.at(8, n).fill(0xF0);
            lines << (n < errors ? u"Чтение из системы адреса $80   регистра $%1     ERROR"_qs
                                 : u"Чтение из системы адреса $80   регистра $%1  OK  "_qs)
                         .arg(n);
        }
        if (ticked)
            press(*window, "adr_80");
        for (int at : {4, 15})
            QTimer::singleShot(at * TestUnit, window.get(), [&] {
                press(*window, "Command2");
                press(*window, "Command1");
            });
        press(*window, "Command1");

        QCOMPARE(sim.requests().size(), ticked ? 9 : 0);
        QCOMPARE(sim.requests().value(8), ticked ? Hex("F0 80 07 08 8F") : QByteArray());
        QVERIFY(window->systemImage() == expected);
        SystemImage saved;
        QCOMPARE(LoadImageFile(saved, path()), QString());
        QVERIFY(saved == expected);
        QCOMPARE(m_lines, lines << countLine(errors) << ResetLine);
        // The count stood 20 wait units, the last wait; the program's own unit is 400 ms.
        QCOMPARE(window->findChild<WaitClock *>()->timer().intervalAsDuration(), 20 * TestUnit);
        QCOMPARE(MainWindow().findChild<WaitClock *>()->unit(), 400ms);
    }

    void receptionGate_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<int>("secondRunErrors");
        // The read run takes no bytes after a controller: a late reply waits in
        // the port and comes in ahead of the next run's first reply.
        QTest::newRow("read run closes it") << QByteArray("Command1") << 1;
        QTest::newRow("write run leaves it open") << QByteArray("Command2") << 0;
    }

    // Indicator 80's last reply comes after its wait, while the first run's
    // count is shown; then a run of indicator 81.
    void receptionGate()
    {
        QFETCH(QByteArray, button);
        QFETCH(int, secondRunErrors);
        SimHarness sim;
        connect(&sim.server(), &bussim::PtyServer::requestReceived, this, [&] {
            if (sim.requests().size() == 9)
                sim.setFault(0x80, Fault{Kind::Delay, int(TestUnit.count()) * 3 / 2, 0, 1});
        });
        const auto window = makeWindow(sim.device());
        press(*window, "adr_80");
        press(*window, button.constData());
        QVERIFY(m_lines.contains(countLine(1)));
        press(*window, "adr_80");
        press(*window, "adr_81");
        m_lines.clear();
        press(*window, button.constData());
        QCOMPARE(m_lines.filter(u"ERROR"_qs).size(), secondRunErrors);
    }

    // Every reply's bytes are in before its wait ends, but the quiet time that
    // closes their burst runs past it: each is judged on its own bytes.
    void replyInLastQuietTime()
    {
        SimHarness sim;
        sim.setFault(0x80, Fault{Kind::Delay, 50});
        const auto window = makeWindow(sim.device(), {}, 100ms, 60ms);
        press(*window, "adr_80");
        press(*window, "Command1");
        QCOMPARE(m_lines.filter(u"ERROR"_qs), QStringList());
        QCOMPARE(m_lines.value(8), u"Чтение из системы адреса $80   регистра $8  OK  "_qs);
    }

    void writeRun_data()
    {
        QTest::addColumn<OptionalFault>("fault"); // on board 01's acknowledgements
        QTest::addColumn<int>("badValue");        // in register 30: not a byte, never sent
        QTest::addColumn<int>("errors");

        QTest::newRow("acknowledged") << OptionalFault() << 0 << 0;
        QTest::newRow("acknowledgement with a wrong checksum")
            << spoil(Kind::BadChecksum, -1) << 0 << 0;
        QTest::newRow("no reply twice") << spoil(Kind::Silent, 2) << 0 << 2;
        QTest::newRow("reply code 02") << spoil(Kind::ReplyCode, 1, 2) << 0 << 1;
        QTest::newRow("another address") << spoil(Kind::OtherAddress) << 0 << 1;
        QTest::newRow("value 256 in the image") << OptionalFault() << 256 << 1;
        QTest::newRow("value -1 in the image") << OptionalFault() << -1 << 1;
    }

    void writeRun()
    {
        QFETCH(OptionalFault, fault);
        QFETCH(int, badValue);
        QFETCH(int, errors);

        SimHarness sim;
        if (fault)
            sim.setFault(0x01, *fault);
        const auto window = makeWindow(sim.device());
        SystemImage &image = window->systemImage();
        image.at(1, 0) = {0xF0};
        image.at(1, 59) = {0x11, 0xF0, 0xF0, 3, 4, 5, 6, 0xFF};
        image.at(1, 30)[7] = qint16(badValue);
        const SystemImage before = image;
        press(*window, "adr_01");
        press(*window, "Command2");

        QCOMPARE(sim.requests().size(), badValue == 0 ? 60 : 59);
        QCOMPARE(sim.requests().at(0), Hex("F0 01 08 00 F0 11 00 00 00 00 00 00 00 0A"));
        QCOMPARE(sim.network().registers(0x01)[59],
                 (bussim::Register{0x11, 0xF0, 0xF0, 3, 4, 5, 6, 0xFF}));
        QVERIFY(window->systemImage() == before);
        const QString line = badValue != 0 ? u"запись в систему адреса $1   регистра $1E  ERROR"_qs
                             : errors == 0 ? u"запись в систему адреса $1   регистра $0     OK"_qs
                                           : u"запись в систему адреса $1   регистра $0  ERROR"_qs;
        QVERIFY2(m_lines.contains(line), qPrintable(line));
        QCOMPARE(m_lines.contains(countLine(errors)), errors != 0);
        QCOMPARE(status(*window), ResetLine);
        QVERIFY(!QFile::exists(path())); // the write run never touches the file
    }

    void interruptedRun_data()
    {
        QTest::addColumn<QString>("device"); // empty: the simulator's
        QTest::addColumn<bool>("closing");   // after 5 units; else the port vanishes then
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QString>("statusPart");
        QTest::newRow("port not open")
            << u"no-such-port"_qs << false << QByteArray("Command1") << u"no-such-port"_qs;
        QTest::newRow("window closed")
            << QString() << true << QByteArray("Command1") << u"Чтение из системы адреса $0"_qs;
        QTest::newRow("port vanished while reading")
            << QString() << false << QByteArray("Command1") << u"чтение прервано"_qs;
        QTest::newRow("port vanished while writing")
            << QString() << false << QByteArray("Command2") << u"запись прервана"_qs;
    }

    // Each ends the run at once: nothing more is sent and nothing saved, the
    // status says why, and what was read before stays in memory.
    void interruptedRun()
    {
        QFETCH(QString, device);
        QFETCH(bool, closing);
        QFETCH(QByteArray, button);
        QFETCH(QString, statusPart);
        auto sim = std::make_unique<SimHarness>();
        const QString simDevice = sim->device();
        for (int n = 0; n < 60; ++n)
            sim->network().registers(0x00)[n] = {1, 2, 3, 4, 5, 6, 7, quint8(n)};
        const auto window = makeWindow(device.isEmpty() ? simDevice : m_dir.filePath(device));
        SystemImage &image = window->systemImage();
        for (int n = 0; n < 60; ++n)
            image.at(0, n) = {9, 9, 9, 9, 9, 9, 9, qint16(n)};
        SystemImage expected = image;
        press(*window, "adr_00");
        QTimer::singleShot(5 * TestUnit, window.get(),
                           [&] { closing ? void(window->close()) : sim.reset(); });
        press(*window, button.constData());

        const QString last = m_lines.value(m_lines.size() - 1);
        QVERIFY2(last.contains(statusPart), qPrintable(last));
        if (!sim) { // the port vanished: it is named, and the run went no further
            QVERIFY2(last.contains(simDevice), qPrintable(last));
            QVERIFY(m_lines.size() < 60);
        }
        for (int n = 0; button == "Command1" && n < 60; ++n) {
            if (m_lines.contains(SysloadText::ReadLine(0x00, n, true)))
                expected.at(0, n) = {1, 2, 3, 4, 5, 6, 7, qint16(n)};
        }
        QVERIFY(window->systemImage() == expected);
        QVERIFY(!QFile::exists(path()));
    }

    // The image read stays in memory; the save is tried again until given up,
    // whose reason then stays on the status line after the count.
    void failedSaveCanBeRetried()
    {
        SimHarness sim;
        const QString folder = m_dir.filePath(QStringLiteral("later"));
        const auto window = makeWindow(sim.device(), folder + QStringLiteral("/sysload.txt"));
        m_answer = [&](int shown) {
            return shown == 3 && !QDir().mkpath(folder) ? 0 : int(QMessageBox::Retry);
        };
        press(*window, "adr_81");
        press(*window, "Command1");
        QCOMPARE(m_boxes.size(), 1 + 2);    // the missing file at the start, then two retries
        QCOMPARE(sim.requests().size(), 9); // the network was read once
        QVERIFY(QFile::exists(folder + QStringLiteral("/sysload.txt")));

        QDir(folder).removeRecursively();
        m_answer = nullptr;
        press(*window, "Command1");
        QCOMPARE(status(*window), m_boxes.last().at(1).section(u'\n', 0, 0));
    }

    // A fresh start ticks all twenty from a backup and writes every register
    // of them into a blank network. (The whole backup itself is read, faults
    // and all, by the soak test beside this one.)
    void restoreWholeNetwork()
    {
        // Every byte value in turn, F0 F8 11 among them; no presence marker is 0.
        SystemImage backup;
        bussim::Network house;
        int k = 0;
        for (int slot = 0; slot < SlotCount; ++slot) {
            const ControllerSlot &controller = ControllerSlots()[std::size_t(slot)];
            for (int n = 0; n < controller.registerCount; ++n)
                for (std::size_t j = 0; j < 8; ++j)
                    backup.at(slot, n)[j] = house.registers(controller.address)[n][j] =
                        quint8(++k * 0x35);
        }
        QVERIFY(SaveImageFile(backup, path()).isEmpty());

        SimHarness blank;
        press(*makeWindow(blank.device(), {}, RestoreUnit), "Command2");
        QTRY_COMPARE(blank.requests().size(), 744);
        QVERIFY(blank.network().sameContents(house));
    }
};

QTEST_MAIN(TestSysloadBus)
#include "tst_sysloadbus.moc"
