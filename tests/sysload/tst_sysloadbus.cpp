// The image file's exact lines, then the window, driven by object name, and
// the command line against the simulated network on a real pseudo-terminal:
// the start-up load, the judgement of each reply, the frames of the write run,
// the runs' safeguards and interruptions, the comparison with the file, and
// the command line's exit statuses.
#include "backupfile.h"
#include "loadercommand.h"
#include "sysloadwindow.h"
#include "testbytes.h"
#include "typing.h"
#include "verifywindow.h"
#include "waitclock.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGridLayout>
#include <QPushButton>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using bussim::Fault;
using Kind = Fault::Kind;

namespace {
const Fault Silent; // no reply at all, ever

// The status line after a run, as the installer reads it: 63 blanks.
const QString ResetLine = u"Статус:"_qs + QString(63, u' ');

// The error count after a run, to be given the number.
const QString CountLine = u"Произошло       %1       ошибок"_qs;

// The status line after a read run with errors, to be given their number.
const QString UnreadLine = u"Статус: не прочитаны %1 регистров, в файле у них прежние значения (0 "
                           u"без файла); их список — в «sysload непрочитанные регистры.txt»"_qs;

Fault Spoil(Kind kind, int count = 1, int value = 0)
{
    return Fault{kind, value, 0, count};
}

// A read or write run of indicator 80 alone, whose registers all hold F0 x 8.
struct RunCase
{
    bool writing = false;
    QList<Fault> faults = {}; // on its replies
    bool slow = false;        // a 100 ms unit whose 60 ms quiet time ends after it
    int badValue = 0;         // in register 0: not a byte, never sent
    int errors = 0;           // its first registers fail
    QString cut = {};         // while the seventh request waits: Esc, stop, close, pull
    QString last = {};        // part of the status the cut leaves
};

// Lines of the file that Pattern() gives: headers, a label, values.
const QList<std::pair<int, QString>> FileLines{
    {1, u"\"Адрес  универсального контроллера - 0\""_qs},
    {533, u"\"регистр-3B\""_qs},
    {4329, u"\"Адрес  контроллера индикатора - 80\""_qs},
    {4985, u"\"Адрес  контроллера клавиатурного - 90\""_qs},
    {5526, u"\"Адрес  контроллера системного - 98\""_qs},
    {6013, u"\"Адрес  контроллера говорилки - 9C\""_qs},
    {6230, u"\"Адрес  контроллера СМС - 9D\""_qs},
    {6232, u"-3"_qs},
    {6716, u"952"_qs}};

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

    QString path() const { return m_dir.filePath(QStringLiteral("sysload.txt")); }
    std::unique_ptr<RecordedWindow> makeWindow(const QString &device,
                                               std::chrono::milliseconds unit = TestUnit,
                                               std::chrono::milliseconds burstGap = 2ms)
    {
        return std::make_unique<RecordedWindow>(SysloadOptions{unit, burstGap, device, path()});
    }

private slots:
    void init()
    {
        QFile::remove(path());
        QFile::remove(UnreadRecordPath(path()));
    }

    // The twenty boxes as the installer sees them, row by row, named and
    // captioned after the table of the network.
    void controllers()
    {
        const auto window = makeWindow(m_dir.filePath(QStringLiteral("no-such-port")));
        const auto *grid = window->findChild<QGridLayout *>();
        QStringList shown;
        for (int row = 0; row < grid->rowCount(); ++row)
            for (int column = 0; column < grid->columnCount(); ++column)
                if (const QLayoutItem *item = grid->itemAtPosition(row, column))
                    shown << u"%1.%2 %3 %4"_qs.arg(row).arg(column).arg(
                        item->widget()->objectName(),
                        qobject_cast<QCheckBox *>(item->widget())->text());
        QCOMPARE(shown.join(u", "),
                 u"0.0 adr_00 контроллер адрес $00, 0.1 adr_80 индикатор часовой $80, "
                 u"1.0 adr_01 контроллер адрес $01, 1.1 adr_81 индикатор часовой $81, "
                 u"2.0 adr_02 контроллер адрес $02, 2.1 adr_82 индикатор часовой $82, "
                 u"3.0 adr_03 контроллер адрес $03, 3.1 adr_83 индикатор часовой $83, "
                 u"4.0 adr_04 контроллер адрес $04, 4.1 adr_84 индикатор часовой $84, "
                 u"5.0 adr_05 контроллер адрес $05, 5.1 adr_85 индикатор часовой $85, "
                 u"6.0 adr_06 контроллер адрес $06, 6.1 adr_86 индикатор часовой $86, "
                 u"7.0 adr_07 контроллер адрес $07, 7.1 adr_87 индикатор часовой $87, "
                 u"8.0 adr_90 клавиатурный $90, 8.1 adr_98 системный $98, "
                 u"9.0 adr_9c говорилка $9C, 9.1 adr_9d контроллер SMS $9D"_qs);
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
    // is missing: the status names it beside the file, and so does a run.
    void startLoad()
    {
        QFETCH(int, keepLines);
        QFETCH(int, changedLine);
        QFETCH(QByteArray, changedTo);
        QFETCH(QString, fileReason);
        QFETCH(int, valuesRead);

        // Windows-1251, CR LF, one item a line, 6716 lines.
        QVERIFY(SaveImageFile(Pattern(744 * 8), path()).isEmpty());
        QList<QByteArray> lines = Contents(path()).split('\n');
        QCOMPARE(lines.size(), 6716 + 1);
        for (const auto &[line, text] : FileLines)
            QCOMPARE(lines.at(line - 1), QStringEncoder("windows-1251").encode(text) + '\r');
        lines = lines.first(keepLines);
        if (changedLine > 0)
            lines[changedLine - 1] = changedTo + '\r';
        QVERIFY(QFile::remove(path()) &&
                (keepLines == 0 || PutFile(path(), lines.join('\n') + '\n')));

        const auto window = makeWindow(m_dir.filePath(QStringLiteral("no-such-port")));
        for (const QCheckBox *box : window->findChildren<QCheckBox *>())
            QCOMPARE(box->isChecked(), fileReason.isEmpty() && (box->objectName() == u"adr_80"_qs ||
                                                                box->objectName() == u"adr_9d"_qs));
        QVERIFY(window->systemImage() == Pattern(valuesRead));
        const QList<QStringList> boxes{{u"sysload"_qs, u"Ошибка, нет готового файла"_qs, u"1"_qs}};
        QCOMPARE(window->boxes, fileReason.isEmpty() ? QList<QStringList>() : boxes);
        // No file at all is the message box's alone; the port is still named.
        QVERIFY(window->status().contains(u"no-such-port"_qs));
        QCOMPARE(window->status().contains(u"sysload.txt"_qs),
                 keepLines != 0 && !fileReason.isEmpty());
        QVERIFY(window->status().contains(fileReason));
        // A run on a port that is not open says why and nothing else.
        window->press("Command1");
        QCOMPARE(window->lines, QStringList{window->port().errorText()});
    }

    void run_data()
    {
        QTest::addColumn<RunCase>("c");
        QTest::newRow("read, all data F0: 21 bytes") << RunCase{};
        // One below its own sum is the sum for the register asked for: only
        // the register number in the reply tells it apart. How a reply is
        // judged byte by byte is the frame suite's; here a reply judged bad
        // costs its register. Esc below comes after a wrong checksum.
        QTest::newRow("read, another register, summed as the one asked for") << RunCase{
            .faults = {Spoil(Kind::OtherRegister), Spoil(Kind::BadChecksum, 1, 0xFF)}, .errors = 1};
        QTest::newRow("read, other traffic first")
            << RunCase{.faults = {Spoil(Kind::Foreign)}, .errors = 1};
        QTest::newRow("read, absent indicator")
            << RunCase{.faults = {Spoil(Kind::Silent, -1)}, .errors = 9};
        // Every reply's bytes are in before its wait ends, but the quiet time
        // that closes their burst runs past it: each is judged on its own bytes.
        QTest::newRow("read, reply in the last quiet time")
            << RunCase{.faults = {Spoil(Kind::Delay, -1, 50)}, .slow = true};
        QTest::newRow("write, acknowledged") << RunCase{.writing = true};
        QTest::newRow("write, acknowledgement with a wrong checksum")
            << RunCase{.writing = true, .faults = {Spoil(Kind::BadChecksum, -1)}};
        QTest::newRow("write, no reply twice")
            << RunCase{.writing = true, .faults = {Spoil(Kind::Silent, 2)}, .errors = 2};
        QTest::newRow("write, reply code 02")
            << RunCase{.writing = true, .faults = {Spoil(Kind::ReplyCode, 1, 2)}, .errors = 1};
        QTest::newRow("write, another address")
            << RunCase{.writing = true, .faults = {Spoil(Kind::OtherAddress)}, .errors = 1};
        QTest::newRow("write, value 256 in the image")
            << RunCase{.writing = true, .badValue = 256, .errors = 1};
        // A cut ends the run after the exchange in progress at most.
        QTest::newRow("read, Esc")
            << RunCase{.faults = {Spoil(Kind::BadChecksum)},
                       .errors = 1,
                       .cut = u"Esc"_qs,
                       .last = u"Чтение остановлено: прочитано 7 из 9 регистров (ошибок 1)"_qs};
        QTest::newRow("write, Стоп")
            << RunCase{.writing = true,
                       .cut = u"stop"_qs,
                       .last = u"после адреса $80 регистра $6: записано 7 из 9"_qs};
        QTest::newRow("read, window closed") << RunCase{.cut = u"close"_qs};
        QTest::newRow("read, port vanished")
            << RunCase{.cut = u"pull"_qs,
                       .last = u"отказал и закрыт: устройство отключено — чтение прервано, файл "
                               u"sysload.txt не записан"_qs};
        QTest::newRow("write, port vanished")
            << RunCase{.writing = true, .cut = u"pull"_qs, .last = u"запись прервана"_qs};
    }

    // A register that fails keeps what the image held, in memory and in the
    // file; an unticked slot the read has passed loses its marker. The write
    // run stuffs F0 and never touches the file, nor does a cut run. Presses
    // during the run and during the count start nothing; the stop is offered
    // during the run only.
    void run()
    {
        QFETCH(const RunCase, c);
        auto sim = std::make_unique<SimHarness>();
        const QString device = sim->device();
        for (bussim::Register &reg : sim->network().registers(0x80))
            reg.fill(0xF0);
        for (const Fault &fault : c.faults)
            sim->network().addFault(0x80, fault);
        const auto unit = c.slow ? 100ms : TestUnit;
        const auto window = makeWindow(device, unit, c.slow ? 60ms : 2ms);
        SystemImage &image = window->systemImage();
        for (int slot = 0; slot < SlotCount; ++slot)
            for (int n = 0; n < 9; ++n)
                image.at(slot, n) = {9, 8, 7, 6, 5, 4, 3, 2};
        image.at(8, 8) = {0x11, 0xF0, 0xF0, 3, 4, 5, 6, 0xFF};
        image.at(8, 0)[7] = qint16(c.badValue);
        SystemImage expected = image;
        const int done = c.cut.isEmpty() ? 9 : c.cut == u"Esc" || c.cut == u"stop" ? 7 : 6;
        const QString ok = c.writing ? u"запись в систему адреса $80   регистра $%1     OK"_qs
                                     : u"Чтение из системы адреса $80   регистра $%1  OK  "_qs;
        const QString failed = c.writing
                                   ? u"запись в систему адреса $80   регистра $%1  ERROR"_qs
                                   : u"Чтение из системы адреса $80   регистра $%1     ERROR"_qs;
        QStringList lines;
        for (int n = 0; n < done; ++n) {
            lines << (n < c.errors ? failed : ok).arg(n);
            if (!c.writing && n >= c.errors)
                expected.at(8, n).fill(0xF0);
        }
        if (c.badValue != 0) // the line names the byte and the value
            lines[0] += u": байт 8 = %1, а байт передаётся от 0 до 255; регистр не передан"_qs.arg(
                c.badValue);
        for (int slot = 0; !c.writing && slot < SlotCount; ++slot)
            if (slot < 8 || (slot > 8 && c.cut.isEmpty()))
                expected.at(slot, 0)[0] = 0;
        const bool countShown = c.cut.isEmpty() && (!c.writing || c.errors > 0);
        if (c.writing && c.cut.isEmpty())
            lines << ResetLine;
        if (countShown)
            lines << CountLine.arg(c.errors)
                  << (c.writing || c.errors == 0 ? ResetLine : UnreadLine.arg(c.errors));
        auto *stopButton = window->findChild<QPushButton *>(u"Command_stop"_qs);
        QVERIFY(!stopButton->isEnabled());
        bool stopOffered = false;
        if (c.cut == u"pull")
            PullAdapterAt(sim, 7, 0x80, window.get());
        connect(&sim->server(), &bussim::PtyServer::requestReceived, window.get(), [&] {
            if (sim->requests().size() != 7)
                return;
            stopOffered = stopButton->isEnabled();
            if (c.cut == u"Esc")
                QTest::keyClick(window.get(), Qt::Key_Escape);
            else if (c.cut == u"stop")
                stopButton->click();
            else if (c.cut == u"close")
                window->close();
        });
        window->press("adr_80");
        for (int at : {4, 15})
            QTimer::singleShot(at * unit, window.get(), [&] {
                window->press("Command2");
                window->press("Command1");
            });
        window->press(c.writing ? "Command2" : "Command1");

        // A closed window is gone: its stop button is left as it stood.
        QVERIFY(stopOffered && (c.cut == u"close" || !stopButton->isEnabled()));
        QCOMPARE(window->lines.mid(0, lines.size()), lines);
        QCOMPARE(window->lines.size(), lines.size() + !c.last.isEmpty());
        QVERIFY(window->lines.last().contains(c.last));
        if (sim)
            QCOMPARE(sim->requests().size(), c.cut.isEmpty() ? 9 - (c.badValue != 0) : 7);
        else // the port that vanished is named
            QVERIFY(window->lines.last().contains(device));
        QVERIFY(window->systemImage() == expected);
        SystemImage saved;
        QCOMPARE(LoadImageFile(saved, path()).isEmpty(), !c.writing && c.cut.isEmpty());
        QVERIFY(c.writing || !c.cut.isEmpty() || saved == expected);
        if (c.cut.isEmpty())
            QCOMPARE(sim->requests().last(),
                     c.writing ? Hex("F0 80 08 08 11 F0 11 F0 11 03 04 05 06 FF B4")
                               : Hex("F0 80 07 08 8F"));
        // The count stood 20 wait units, a reply one; the program's own unit is 400 ms.
        QCOMPARE(window->findChild<WaitClock *>()->timer().intervalAsDuration(),
                 (countShown ? 20 : 1) * unit);
        QCOMPARE(MainWindow().findChild<WaitClock *>()->unit(), 400ms);
    }

    // Indicator 80's last reply comes after its wait, while the first run's
    // count is shown; then a run of indicator 81. The read run takes no bytes
    // after a controller: the late reply waits in the port and comes in ahead
    // of the next run's first reply. The write run leaves reception open. The
    // quick exchange drops what waits in the port before each request.
    void receptionGate()
    {
        for (const bool quick : {false, true})
            for (const char *button : {"Command1", "Command2"}) {
                init(); // the read's record would hold back the write's register 8
                SimHarness sim;
                connect(&sim.server(), &bussim::PtyServer::requestReceived, this, [&] {
                    if (sim.requests().size() == 9)
                        sim.setFault(0x80, Fault{Kind::Delay, int(TestUnit.count()) * 3 / 2, 0, 1});
                });
                const auto window = makeWindow(sim.device());
                if (quick)
                    window->press("Check_quick");
                window->press("adr_80");
                window->press(button);
                QVERIFY(window->lines.contains(CountLine.arg(1)));
                window->press("adr_80");
                window->press("adr_81");
                window->lines.clear();
                window->press(button);
                QCOMPARE(window->lines.filter(u"ERROR"_qs).size(),
                         button[7] == '1' && !quick ? 1 : 0);
            }
    }

    // The image read stays in memory; the save is tried again until given up,
    // whose reason then stays on the status line after the count.
    void failedSaveCanBeRetried()
    {
        SimHarness sim;
        const QString folder = m_dir.filePath(QStringLiteral("later"));
        const auto window = std::make_unique<RecordedWindow>(
            SysloadOptions{TestUnit, 2ms, sim.device(), folder + QStringLiteral("/sysload.txt")});
        window->answer = [&](int shown) {
            return shown == 3 && !QDir().mkpath(folder) ? 0 : int(QMessageBox::Retry);
        };
        window->press("adr_81");
        window->press("Command1");
        QCOMPARE(window->boxes.size(), 1 + 2); // the missing file at the start, then two retries
        QVERIFY(QFile::exists(folder + QStringLiteral("/sysload.txt")));

        // Nothing ticked now: no register is read, but the image is still saved.
        QDir(folder).removeRecursively();
        window->answer = nullptr;
        window->press("adr_81");
        window->press("Command1");
        QCOMPARE(sim.requests().size(), 9); // the network was read once
        QCOMPARE(window->status(), window->boxes.last().at(1).section(u'\n', 0, 0));
    }

    // Three registers changed on the network since the backup, one controller
    // silent: exactly those are reported, and nothing is changed.
    void verify()
    {
        SimHarness sim;
        const QList<int> present{0x80, 0x81, 0x82};
        Fill(sim.network(), present, 5);
        sim.network().registers(0x82)[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        QVERIFY(SaveImageFile(ImageOf(sim.network(), present), path()).isEmpty());
        const QByteArray before = Contents(path());
        sim.network().registers(0x80)[0][5] ^= 0x01;
        sim.network().registers(0x80)[2][3] = 0xF0 ^ sim.network().registers(0x80)[2][3];
        sim.network().registers(0x82)[8][0] = 0x41;
        sim.network().registers(0x82)[8][7] = 0x0A;
        sim.setFault(0x81, Silent);
        const auto window = makeWindow(sim.device());
        const SystemImage image = window->systemImage();
        window->press("Command_sverka");
        QVERIFY(window->systemImage() == image);
        QCOMPARE(Contents(path()), before);

        VerifyWindow *shown = window->verifyWindow();
        QVERIFY(shown && shown->isVisible());
        auto *table = shown->findChild<QTableWidget *>(u"Table_sverka"_qs);
        QCOMPARE(table->rowCount(), 3 + 9);
        // Register 8 of 82: the first and last bytes marked on both sides, no other.
        for (int column = 2; column < 18; ++column)
            QCOMPARE(table->item(2, column)->font().bold(),
                     (column - 2) % 8 == 0 || (column - 2) % 8 == 7);
        QCOMPARE(table->item(3, 2)->text(), u"не прочитан"_qs);
        shown->findChild<QPushButton *>(u"Command_copy"_qs)->click();
        const QString text = QApplication::clipboard()->text();
        // The report as --verify prints it; an unmarked last byte keeps its blank.
        QCOMPARE(
            text,
            QStringList(
                {u"Сверка системы с файлом: совпадают 15, отличаются 3, не прочитаны 9"_qs,
                 {},
                 u"Отличаются (* - отличающийся байт):"_qs,
                 u"адрес регистр  в файле                          в системе"_qs,
                 u"  80    00     46  4C  CE  F0  13  5F* FC  F0   46  4C  CE  F0  13  5E* FC  F0 "_qs,
                 u"  80    02     CD  42  FB  62* 6F  E3  DC  E7   CD  42  FB  92* 6F  E3  DC  E7 "_qs,
                 u"  82    08     01* 02  03  04  05  06  07  08*  41* 02  03  04  05  06  07  0A*"_qs,
                 {},
                 u"Не прочитаны:"_qs,
                 u"  81: регистры 0-8"_qs,
                 {}})
                .join(u'\n'));
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<bool>("withFile");   // a backup of 80 and 81 before the run
        QTest::addColumn<QString>("trouble"); // silent, changed, interrupt
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said"); // the first line printed: on out, else on err
        const QString read = u"Система в файл sysload.txt: прочитано %1 регистров, ошибок %2"_qs;
        QTest::newRow("first backup")
            << u"--backup --only 80,9c"_qs << false << QString() << 0 << read.arg(33).arg(0);
        QTest::newRow("backup, a silent controller")
            << u"--backup --quick"_qs << true << u"silent"_qs << 1 << read.arg(18).arg(9);
        QTest::newRow("backup, Ctrl+C")
            << u"--backup"_qs << true << u"interrupt"_qs << 130
            << u"Чтение остановлено: прочитано 5 из 18 регистров (ошибок 0), файл sysload.txt "
               u"не изменён"_qs;
        QTest::newRow("bad option")
            << u"--backup --bogus"_qs << true << QString() << 2 << QString();
        QTest::newRow("unknown controller")
            << u"--backup --only 80,55"_qs << true << QString() << 2 << QString();
        QTest::newRow("no port") << u"--backup --port /nonexistent/tty"_qs << true << QString() << 2
                                 << u"sysload: Порт /nonexistent/tty не открыт: такого устройства "
                                    u"нет; выберите порт в меню «Порт»"_qs;
        QTest::newRow("restore without a file")
            << u"--restore"_qs << false << QString() << 2
            << u"sysload: Файл sysload.txt не прочитан: такого файла нет"_qs;
        QTest::newRow("restore")
            << u"--restore"_qs << true << QString() << 0
            << u"Из файла sysload.txt в систему: записано 18 регистров, ошибок 0"_qs;
        const QString verified = u"Сверка системы с файлом: совпадают %1, отличаются %2, не "
                                 u"прочитаны 0"_qs;
        QTest::newRow("verify, equal")
            << u"--verify"_qs << true << QString() << 0 << verified.arg(18).arg(0);
        QTest::newRow("verify, differing")
            << u"--verify"_qs << true << u"changed"_qs << 1 << verified.arg(17).arg(1);
    }

    void commandLine()
    {
        QFETCH(QString, arguments);
        QFETCH(bool, withFile);
        QFETCH(QString, trouble);
        QFETCH(int, status);
        QFETCH(QString, said);
        SimHarness sim;
        Fill(sim.network(), {0x80, 0x81, 0x9C}, 9);
        if (withFile)
            QVERIFY(SaveImageFile(ImageOf(sim.network(), {0x80, 0x81}), path()).isEmpty());
        const QByteArray before = Contents(path());
        if (trouble == u"silent")
            sim.setFault(0x81, Silent);
        if (trouble == u"changed")
            sim.network().registers(0x81)[4][4] ^= 0xFF;
        if (trouble == u"interrupt")
            connect(&sim.server(), &bussim::PtyServer::requestReceived, this, [&] {
                if (sim.requests().size() == 5)
                    std::raise(SIGINT);
            });
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        const int got =
            RunLoaderCommand(ParseLoaderCommand((u"sysload "_qs + arguments).split(u' ')),
                             SysloadOptions{TestUnit, 2ms, sim.device(), path()}, out, err, false);
        QVERIFY2(got == status, qPrintable(u"%1\n%2%3"_qs.arg(got).arg(outText, errText)));
        // Only a first backup writes the file: a backup of the same network changes nothing.
        QCOMPARE(Contents(path()) != before, !withFile && status == 0);
        if (trouble == u"changed")
            QVERIFY2(outText.contains(u"81    04"_qs), qPrintable(outText));
        QString printed = (outText.isEmpty() ? errText : outText).section(u'\n', 0, 0);
        QCOMPARE(printed.replace(path(), u"sysload.txt"_qs), said);
    }

    // Indicator 81 is silent to its registers 3-5 in the first backup: they
    // keep 0 in the file, and the record beside it lists them. The window's
    // write says so first and passes them over, or sends nothing when
    // declined; its check box and --include-unread write them, and the
    // comparison still does not call them equal. A backup of 80 alone leaves
    // 81 in the record; one of 81 that reads it whole removes the record.
    void unreadRegisters()
    {
        SimHarness house;
        Fill(house.network(), {0x80, 0x81}, 3);
        connect(&house.server(), &bussim::PtyServer::requestReceived, this, [&] {
            if (house.requests().size() == 9 + 4)
                house.setFault(0x81, Spoil(Kind::Silent, 3));
        });
        const auto command = [this](const QStringList &arguments, SimHarness &sim) {
            QString outText;
            QString errText;
            QTextStream out(&outText);
            QTextStream err(&errText);
            const int status = RunLoaderCommand(
                ParseLoaderCommand(QStringList{u"sysload"_qs} + arguments),
                SysloadOptions{TestUnit, 2ms, sim.device(), path()}, out, err, false);
            const QString folder = m_dir.path() + u'/';
            return std::tuple{status, outText.replace(folder, QString()),
                              errText.replace(folder, QString())};
        };
        const QString listed = u"  81: регистры 3-5"_qs;
        const auto record = [this] {
            UnreadRegisters unread;
            const QString reason = LoadUnreadRecord(unread, UnreadRecordPath(path()));
            return reason + RegisterLines(unread.list()).join(u'\n');
        };

        auto [status, out, err] = command({u"--backup"_qs, u"--only=80,81"_qs}, house);
        QCOMPARE(status, 1);
        QCOMPARE(out.section(u'\n', 1),
                 u"Не прочитаны (в файле у них прежние значения, 0 без файла; список в sysload "
                 u"непрочитанные регистры.txt):\n  81: регистры 3-5\n"_qs);
        QVERIFY2(err.contains(UnreadLine.arg(3)), qPrintable(err));
        QCOMPARE(record(), listed);

        // Another network, every byte 55, so that a register written shows.
        SimHarness blank;
        for (int address : {0x80, 0x81})
            for (bussim::Register &reg : blank.network().registers(address))
                reg.fill(0x55);
        const bussim::Register untouched{0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
        {
            RecordedWindow window(SysloadOptions{TestUnit, 2ms, blank.device(), path()});
            window.answer = [](int shown) {
                return int(shown == 1 ? QMessageBox::Cancel : QMessageBox::Ok);
            };
            window.press("Command2");
            QCOMPARE(blank.requests().size(), 0);
            window.press("Command2");
            QCOMPARE(window.boxes.size(), 2);
            QVERIFY2(window.boxes[1][1].contains(
                         u":\n  81: регистры 3-5\nОни не записываются; чтобы записать и их, "
                         u"отметьте «записывать непрочитанные» (--include-unread)."_qs),
                     qPrintable(window.boxes[1][1]));
            QCOMPARE(blank.requests().size(), 18 - 3);
            QCOMPARE(window.status(),
                     u"Статус: не записаны 3 регистров, не прочитанных из системы"_qs);
            QCOMPARE(blank.network().registers(0x81)[4], untouched);
            QCOMPARE(blank.network().registers(0x81)[6], house.network().registers(0x81)[6]);
            window.press("Check_unread");
            window.press("Command2");
            QVERIFY(window.boxes.last()[1].endsWith(u"Они записываются, как выбрано."_qs));
            QCOMPARE(blank.requests().size(), 15 + 18);
        }
        blank.network().registers(0x81)[4] = untouched;

        std::tie(status, out, err) = command({u"--restore"_qs, u"--include-unread"_qs}, blank);
        QCOMPARE(status, 0);
        QVERIFY2(err.contains(listed + u"\nОни записываются, как выбрано."_qs), qPrintable(err));
        QCOMPARE(blank.network().registers(0x81)[4], bussim::Register{});

        std::tie(status, out, err) = command({u"--verify"_qs}, blank);
        QCOMPARE(status, 1);
        QCOMPARE(out.section(u'\n', 0, 0),
                 u"Сверка системы с файлом: совпадают 15, отличаются 0, не прочитаны 0, не "
                 u"сверены 3 (в файле не из системы)"_qs);
        QVERIFY2(out.contains(u"в файле значения, не прочитанные из системы при чтении в "
                              u"файл:\n"_qs +
                              listed),
                 qPrintable(out));
        QCOMPARE(blank.requests().size(), 15 + 18 + 18 + 15);

        std::tie(status, out, err) = command({u"--backup"_qs, u"--only=80"_qs}, house);
        QCOMPARE(status, 0);
        QCOMPARE(record(), listed);
        std::tie(status, out, err) = command({u"--backup"_qs, u"--only=81"_qs}, house);
        QCOMPARE(status, 0);
        QVERIFY(!QFileInfo::exists(UnreadRecordPath(path())));
    }

    void unreadFileKept_data()
    {
        QTest::addColumn<QByteArray>("changedTo"); // line 4580 of a backup of 80, or after its end
        QTest::addColumn<bool>("folder");          // sysload.txt is a folder instead
        QTest::addColumn<QString>("start");        // the status line after the start
        QTest::addColumn<QString>("end");          // and after the read run of 80
        QTest::newRow("a value that is no number")
            << QByteArray("12a") << false << u"Файл sysload.txt, строка 4580"_qs
            << u"Статус: прежний файл sysload.txt не был прочитан и сохранён как «sysload "
               u"непрочитанный 20"_qs;
        QTest::newRow("a folder")
            << QByteArray() << true << u"Файл sysload.txt не прочитан: это папка, а не файл"_qs
            << u"Файл sysload.txt не записан: прежний файл не был прочитан, а сохранить его "
               u"копию не удалось: это папка, а не файл"_qs;
        QTest::newRow("lines after the end")
            << QByteArray("5") << false
            << u"Статус: Файл sysload.txt, строка 6717: после последнего значения в файле есть "
               u"ещё строки, они не прочитаны"_qs
            << ResetLine;
    }

    // A file that did not load is kept under a new name before the read run
    // writes over it, or not written when it cannot be kept; a file that
    // loads with a notice says it and is written over as it is. A press
    // during the run says that a run is under way.
    void unreadFileKept()
    {
        QFETCH(QByteArray, changedTo);
        QFETCH(bool, folder);
        QFETCH(QString, start);
        QFETCH(QString, end);
        SimHarness sim;
        Fill(sim.network(), {0x80}, 4);
        QVERIFY(SaveImageFile(ImageOf(sim.network(), {0x80}), path()).isEmpty());
        QList<QByteArray> lines = Contents(path()).split('\n');
        if (changedTo == "5")
            lines.last() = changedTo + "\r\n";
        else if (!changedTo.isEmpty())
            lines[4580 - 1] = changedTo + '\r';
        QVERIFY(QFile::remove(path()) &&
                (folder ? QDir().mkdir(path()) : PutFile(path(), lines.join('\n'))));
        const auto removeFolder = qScopeGuard([this] { QDir(path()).removeRecursively(); });
        const QByteArray before = Contents(path());

        const auto window = makeWindow(sim.device());
        QVERIFY2(window->status().startsWith(start), qPrintable(window->status()));
        if (!window->findChild<QCheckBox *>(u"adr_80"_qs)->isChecked())
            window->press("adr_80");
        QString during;
        connect(&sim.server(), &bussim::PtyServer::requestReceived, window.get(), [&] {
            if (sim.requests().size() == 3) {
                window->press("Command2");
                during = window->status();
            }
        });
        window->press("Command1");
        QVERIFY2(window->status().startsWith(end), qPrintable(window->status()));
        QCOMPARE(during.section(u'\n', 1),
                 u"Не начато: идёт обмен с системой, дождитесь его конца или нажмите «Стоп»"_qs);
        QCOMPARE(sim.requests().size(), 9);

        const QStringList kept =
            QDir(m_dir.path()).entryList({u"sysload непрочитанный *.txt"_qs}, QDir::Files);
        QCOMPARE(kept.size(), int(changedTo == "12a"));
        for (const QString &name : kept) {
            QVERIFY(window->status().contains(u"«%1»; файл записан"_qs.arg(name)));
            QCOMPARE(Contents(m_dir.filePath(name)), before);
            QVERIFY(QFile::remove(m_dir.filePath(name)));
        }
        QCOMPARE(QFileInfo(path()).isDir(), folder);
        SystemImage saved;
        QCOMPARE(LoadImageFile(saved, path()).isEmpty(), !folder);
    }

    void commandLineItems_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "DIR/" is the folder of sysload.txt
        // 80's register 4, byte 5, in the backup: 1 leaves it as read; 0 leaves
        // it too and adds a line after the file's end.
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("signal"); // raised at the fifth request
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QString>("said"); // on out or on err, folders left out
        QTest::newRow("--help-all")
            << QStringList{u"--help-all"_qs} << 1 << 0 << 0 << 0 << QString();
        QTest::newRow("--port empty")
            << QStringList{u"--backup"_qs, u"--port="_qs} << 1 << 0 << 2 << 0 << QString();
        QTest::newRow("--log empty") << QStringList{u"--restore"_qs, u"--log"_qs, QString()} << 1
                                     << 0 << 2 << 0 << QString();
        QTest::newRow("FILE empty")
            << QStringList{u"--restore"_qs, QString()} << 1 << 0 << 2 << 0 << QString();
        QTest::newRow("a file name with %1 %2")
            << QStringList{u"--backup"_qs, u"--only=80"_qs, u"DIR/a%1 %2.txt"_qs} << 1 << 0 << 0
            << 9 << u"Система в файл a%1 %2.txt: прочитано 9 регистров, ошибок 0\n"_qs;
        QTest::newRow("SIGTERM in a backup")
            << QStringList{u"--backup"_qs} << 1 << SIGTERM << 130 << 5
            << u"Чтение остановлено: прочитано 5 из 9 регистров (ошибок 0), файл sysload.txt "
               u"не изменён"_qs;
        QTest::newRow("SIGHUP in a restore")
            << QStringList{u"--restore"_qs} << 1 << SIGHUP << 130 << 5
            << u"Запись остановлена после адреса $80 регистра $4: записано 5 из 9 регистров "
               u"(ошибок 0)"_qs;
        QTest::newRow("a value of 300")
            << QStringList{u"--restore"_qs} << 300 << 0 << 1 << 8
            << u"запись в систему адреса $80   регистра $4  ERROR: байт 5 = 300, а байт "
               u"передаётся от 0 до 255; регистр не передан\n"_qs;
        QTest::newRow("a line after the end")
            << QStringList{u"--verify"_qs} << 0 << 0 << 0 << 9
            << u"sysload: Файл sysload.txt, строка 6717: после последнего значения в файле есть "
               u"ещё строки, они не прочитаны\n"_qs;
        QTest::newRow("a value of -1")
            << QStringList{u"--restore"_qs} << -1 << 0 << 1 << 8
            << u"регистра $4  ERROR: байт 5 = -1, а байт передаётся от 0 до 255"_qs;
    }

    // Against a backup of indicator 80.
    void commandLineItems()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, value);
        QFETCH(int, signal);
        QFETCH(int, status);
        QFETCH(int, requests);
        QFETCH(QString, said);
        SimHarness sim;
        Fill(sim.network(), {0x80}, 6);
        SystemImage image = ImageOf(sim.network(), {0x80});
        if (value != 1 && value != 0)
            image.at(8, 4)[4] = qint16(value);
        QVERIFY(SaveImageFile(image, path()).isEmpty());
        if (value == 0)
            QVERIFY(PutFile(path(), Contents(path()) + "0\r\n"));
        if (signal != 0)
            connect(&sim.server(), &bussim::PtyServer::requestReceived, this, [&] {
                if (sim.requests().size() == 5)
                    std::raise(signal);
            });
        const QString folder = m_dir.path() + u'/';
        arguments.replaceInStrings(u"DIR/"_qs, folder);
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        const int got =
            RunLoaderCommand(ParseLoaderCommand(QStringList{u"sysload"_qs} + arguments),
                             SysloadOptions{TestUnit, 2ms, sim.device(), path()}, out, err, false);
        QString printed = outText + errText;
        printed.replace(folder, QString());
        QVERIFY2(got == status, qPrintable(u"%1\n%2"_qs.arg(QString::number(got), printed)));
        QCOMPARE(sim.requests().size(), requests);
        QVERIFY2(printed.contains(said), qPrintable(printed));
    }
};

QTEST_MAIN(TestSysloadBus)
#include "tst_sysloadbus.moc"
