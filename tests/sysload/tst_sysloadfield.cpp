// The loader in the installer's hands, against the simulated network on a
// pseudo-terminal: the progress of a run, the stop, the comparison with the
// file, the quick exchange under random faults, and the command line's exit
// statuses.
#include "loadercommand.h"
#include "mainwindow.h"
#include "simharness.h"
#include "verifywindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <random>

using namespace std::chrono_literals;
using Kind = bussim::Fault::Kind;

namespace {
constexpr auto Unit = 40ms;
const bussim::Fault Silent{Kind::Silent, 0, 0, -1};

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every register of the given controllers filled with distinct bytes, F0
// among them; register 0 starts with a byte that is not 0, so that a backup
// of it marks the controller present.
void Fill(bussim::Network &network, const QList<int> &addresses, quint32 seed)
{
    std::mt19937 bytes(seed);
    for (int address : addresses)
        for (bussim::Register &reg : network.registers(address))
            for (quint8 &byte : reg)
                byte = bytes() % 8 == 0 ? 0xF0 : quint8(1 + bytes() % 255);
}

// The image a backup of these controllers gives.
SystemImage ImageOf(bussim::Network &network, const QList<int> &addresses)
{
    SystemImage image;
    for (int slot = 0; slot < SlotCount; ++slot) {
        const ControllerSlot &c = ControllerSlots()[std::size_t(slot)];
        for (int n = 0; addresses.contains(c.address) && n < c.registerCount; ++n)
            std::copy_n(network.registers(c.address)[n].begin(), 8, image.at(slot, n).begin());
    }
    return image;
}

// Saves a grab of the widget when UMD_SHOTS names a folder.
void Shot(QWidget &widget, const char *name)
{
    const QString folder = qEnvironmentVariable("UMD_SHOTS");
    if (!folder.isEmpty())
        widget.grab().save(folder + u'/' + QLatin1String(name) + QStringLiteral(".png"));
}
} // namespace

class TestSysloadField : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("sysload.txt")); }

    std::unique_ptr<MainWindow> makeWindow(const QString &device)
    {
        auto window = std::make_unique<MainWindow>(SysloadOptions{Unit, 2ms, device, path()});
        window->setMessageHook([](QMessageBox &) { return int(QMessageBox::Ok); });
        window->Form_Load();
        return window;
    }
    static void press(QWidget &w, const char *name)
    {
        w.findChild<QAbstractButton *>(QLatin1String(name))->click();
    }
    static QString status(QWidget &w) { return w.findChild<QLabel *>(u"Label2"_qs)->text(); }

private slots:
    void init() { QFile::remove(path()); }

    // Registers done of registers to do, the errors so far, the time left from
    // the wait per register, and the percentage in the window's title.
    void progress()
    {
        SimHarness sim;
        sim.setFault(0x81, Silent);
        const auto window = makeWindow(sim.device());
        press(*window, "adr_80");
        press(*window, "adr_81");
        QList<RunProgress> seen;
        QStringList titles;
        connect(&window->loader(), &SystemLoader::progressChanged, this, [&](const RunProgress &p) {
            seen << p;
            titles << window->windowTitle();
            if (p.done == 12)
                Shot(*window, "sysload-run-in-progress");
        });
        press(*window, "Command1");

        QCOMPARE(seen.size(), 1 + 18 + 1);
        QVERIFY(seen.first().running && seen.first().done == 0 && seen.first().total == 18);
        QCOMPARE(seen.first().left, 18 * Unit);
        QCOMPARE(seen[9].done, 9);
        QCOMPARE(seen[9].errors, 0);
        QCOMPARE(seen[9].left, 9 * Unit);
        QCOMPARE(titles[9], u"50 % — умный дом"_qs);
        QCOMPARE(seen[12].errors, 3);
        QVERIFY(!seen.last().running && seen.last().done == 18 && seen.last().errors == 9);
        QCOMPARE(titles.last(), u"умный дом"_qs);
        QTRY_COMPARE(window->findChild<QProgressBar *>(u"ProgressBar1"_qs)->text(),
                     u"18 из 18 регистров, ошибок 9, осталось 0:00"_qs);
    }

    void stop_data()
    {
        QTest::addColumn<bool>("writing");
        QTest::addColumn<bool>("escape"); // else the button
        QTest::newRow("read run, Esc") << false << true;
        QTest::newRow("write run, Стоп") << true << false;
    }

    // The run ends after the exchange in progress. A stopped read leaves the
    // file as it was byte for byte and keeps what it read in the image; a
    // stopped write says where the network stops holding the image.
    void stop()
    {
        QFETCH(bool, writing);
        QFETCH(bool, escape);
        SimHarness sim;
        Fill(sim.network(), {0x00}, 3);
        const SystemImage original = ImageOf(sim.network(), {0x00});
        SystemImage file;
        for (int n = 0; n < 60; ++n)
            file.at(0, n) = {9, 9, 9, 9, 9, 9, 9, qint16(n)};
        QVERIFY(SaveImageFile(file, path()).isEmpty());
        const QByteArray before = Contents(path());
        const auto window = makeWindow(sim.device());
        auto *stopButton = window->findChild<QPushButton *>(u"Command_stop"_qs);
        QVERIFY(!stopButton->isEnabled());
        bool enabledInRun = false;
        connect(&sim.server(), &bussim::PtyServer::requestReceived, this, [&] {
            if (sim.requests().size() != 7)
                return;
            enabledInRun = stopButton->isEnabled();
            // Pressed while the seventh request waits for its reply.
            escape ? QTest::keyClick(window.get(), Qt::Key_Escape) : stopButton->click();
        });
        press(*window, writing ? "Command2" : "Command1");

        QVERIFY(enabledInRun && !stopButton->isEnabled());
        QCOMPARE(sim.requests().size(), 7);
        QCOMPARE(Contents(path()), before);
        SystemImage expected = file;
        if (writing) {
            QCOMPARE(status(*window), SysloadText::WriteStopped(0x00, 6, 7, 60, 0));
            QCOMPARE(int(sim.network().registers(0x00)[6][7]), 6);
            QCOMPARE(int(sim.network().registers(0x00)[7][7]), int(original.at(0, 7)[7]));
        } else {
            QCOMPARE(status(*window), SysloadText::ReadStopped(7, 60, 0));
            for (int n = 0; n < 7; ++n)
                expected.at(0, n) = original.at(0, n);
        }
        QVERIFY(window->systemImage() == expected);
    }

    // The stop takes the error count down at once: the run ends a unit after
    // the count went up instead of twenty.
    void stopDuringCount()
    {
        SimHarness sim;
        const auto window = makeWindow(sim.device());
        press(*window, "adr_80");
        connect(&window->loader(), &SystemLoader::statusChanged, this, [&](const QString &text) {
            if (text.startsWith(u"Произошло"_qs))
                QTimer::singleShot(Unit, window.get(), [&] { press(*window, "Command_stop"); });
        });
        QElapsedTimer clock;
        clock.start();
        press(*window, "Command1");
        QVERIFY2(clock.elapsed() < (9 + 10) * Unit.count(),
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(status(*window), SysloadText::StatusReset());
    }

    // Three registers changed on the network since the backup, one controller
    // silent: exactly those are reported, and nothing is changed.
    void verify()
    {
        SimHarness sim;
        const QList<int> present{0x80, 0x81, 0x82};
        Fill(sim.network(), present, 5);
        const SystemImage backup = ImageOf(sim.network(), present);
        QVERIFY(SaveImageFile(backup, path()).isEmpty());
        const QByteArray before = Contents(path());
        sim.network().registers(0x80)[0][5] ^= 0x01;
        sim.network().registers(0x80)[2][3] = 0xF0 ^ sim.network().registers(0x80)[2][3];
        sim.network().registers(0x82)[8][0] ^= 0x40;
        sim.network().registers(0x82)[8][7] ^= 0x02;
        sim.setFault(0x81, Silent);
        const auto window = makeWindow(sim.device());
        const SystemImage image = window->systemImage();
        press(*window, "Command_sverka");

        const VerifyResult &result = window->loader().verifyResult();
        QCOMPARE(result.equal, 27 - 3 - 9);
        QCOMPARE(result.differing.size(), 3);
        const QList<std::pair<int, int>> places{{0x80, 0}, {0x80, 2}, {0x82, 8}};
        for (int i = 0; i < 3; ++i) {
            const RegisterDifference &d = result.differing[i];
            QCOMPARE((std::pair{d.address, d.registerNumber}), places[i]);
            QVERIFY(d.file == backup.at(d.address == 0x80 ? 8 : 10, d.registerNumber));
            QVERIFY(
                d.network ==
                ImageOf(sim.network(), present).at(d.address == 0x80 ? 8 : 10, d.registerNumber));
        }
        QCOMPARE(result.unread.size(), 9);
        QVERIFY(result.unread.first().address == 0x81 && result.unread.last().registerNumber == 8);
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
        QVERIFY2(text.contains(u"совпадают 15, отличаются 3, не прочитаны 9"_qs), qPrintable(text));
        QVERIFY2(text.contains(u"81: регистры 0-8"_qs), qPrintable(text));
        Shot(*shown, "sysload-verify-result");
    }

    // The quick exchange ends each wait on a reply that passes the run's
    // check; every register that both it and the full wait read is the same.
    void quickUnderRandomFaults()
    {
        SimHarness sim;
        const QList<int> addresses{0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x9C};
        Fill(sim.network(), addresses, 11);
        sim.setRandomFaults({21, 10, 22, 26});
        // Every reply of 80 in two pieces 30 ms apart: the front of a reply
        // never ends a quick wait, and the full wait stores the pieces apart.
        sim.setFault(0x80, {Kind::Split, 5, 30, -1});
        auto backup = [&](bool quick, qint64 &ms) {
            QFile::remove(path());
            LoaderSession session(SysloadOptions{50ms, 2ms, sim.device(), path()});
            QSet<std::pair<int, int>> read;
            connect(&session.loader(), &SystemLoader::statusChanged, this,
                    [&](const QString &text) {
                        for (int a : addresses)
                            for (int n = 0; n < 24; ++n)
                                if (text == SysloadText::ReadLine(a, n, true))
                                    read.insert({a, n});
                    });
            session.loader().setCountDisplay(0);
            session.openPort();
            session.setQuick(quick);
            QElapsedTimer clock;
            clock.start();
            session.loader().ReadRun([&](int slot) {
                return addresses.contains(ControllerSlots()[std::size_t(slot)].address);
            });
            ms = clock.elapsed();
            return std::pair{session.image(), read};
        };
        qint64 normalMs = 0;
        qint64 quickMs = 0;
        const auto [normal, normalRead] = backup(false, normalMs);
        const auto [quick, quickRead] = backup(true, quickMs);
        const SystemImage truth = ImageOf(sim.network(), addresses);
        int both = 0;
        for (int slot = 8; slot < SlotCount; ++slot) {
            const int address = ControllerSlots()[std::size_t(slot)].address;
            for (int n = 0; n < ControllerSlots()[std::size_t(slot)].registerCount; ++n) {
                if (quickRead.contains({address, n}))
                    QVERIFY(quick.at(slot, n) == truth.at(slot, n));
                if (normalRead.contains({address, n}))
                    QVERIFY(normal.at(slot, n) == truth.at(slot, n));
                both += normalRead.contains({address, n}) && quickRead.contains({address, n});
            }
        }
        for (int n = 0; n < 9; ++n)
            QVERIFY(quickRead.contains({0x80, n}) && !normalRead.contains({0x80, n}));
        QVERIFY2(both > 75 * 87 / 100, qPrintable(QString::number(both)));
        QVERIFY2(quickMs * 2 < normalMs, qPrintable(u"%1 ms, %2 ms"_qs.arg(quickMs).arg(normalMs)));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("withFile");   // a backup of 80 and 81 before the run
        QTest::addColumn<QString>("trouble"); // silent, changed, interrupt, pull
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("fileChanged"); // (a backup of the same network changes nothing)
        const QString backup = u"--backup"_qs;
        QTest::newRow("first backup")
            << QStringList{backup, u"--only"_qs, u"80,9c"_qs} << false << QString() << 0 << true;
        QTest::newRow("backup, a silent controller")
            << QStringList{backup, u"--quick"_qs} << true << u"silent"_qs << 1 << false;
        QTest::newRow("backup, Ctrl+C")
            << QStringList{backup} << true << u"interrupt"_qs << 130 << false;
        QTest::newRow("backup, adapter pulled")
            << QStringList{backup} << true << u"pull"_qs << 2 << false;
        QTest::newRow("bad option")
            << QStringList{backup, u"--bogus"_qs} << true << QString() << 2 << false;
        QTest::newRow("unknown controller")
            << QStringList{backup, u"--only"_qs, u"80,55"_qs} << true << QString() << 2 << false;
        QTest::newRow("no port") << QStringList{backup, u"--port"_qs, u"/nonexistent/tty"_qs}
                                 << true << QString() << 2 << false;
        QTest::newRow("restore without a file")
            << QStringList{u"--restore"_qs} << false << QString() << 2 << false;
        QTest::newRow("restore") << QStringList{u"--restore"_qs} << true << QString() << 0 << false;
        QTest::newRow("verify, equal")
            << QStringList{u"--verify"_qs} << true << QString() << 0 << false;
        QTest::newRow("verify, differing")
            << QStringList{u"--verify"_qs} << true << u"changed"_qs << 1 << false;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, withFile);
        QFETCH(QString, trouble);
        QFETCH(int, status);
        QFETCH(bool, fileChanged);
        auto sim = std::make_unique<SimHarness>();
        Fill(sim->network(), {0x80, 0x81, 0x9C}, 9);
        if (withFile)
            QVERIFY(SaveImageFile(ImageOf(sim->network(), {0x80, 0x81}), path()).isEmpty());
        const QByteArray before = Contents(path());
        if (trouble == u"silent")
            sim->setFault(0x81, Silent);
        if (trouble == u"changed")
            sim->network().registers(0x81)[4][4] ^= 0xFF;
        if (trouble == u"pull")
            PullAdapterAt(sim, 5, 0x80, this);
        if (trouble == u"interrupt")
            connect(&sim->server(), &bussim::PtyServer::requestReceived, this, [&] {
                if (sim->requests().size() == 5)
                    std::raise(SIGINT);
            });
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        const int got = RunLoaderCommand(
            ParseLoaderCommand(QStringList{u"sysload"_qs} + arguments),
            SysloadOptions{Unit, 2ms, sim ? sim->device() : QString(), path()}, out, err, false);
        QVERIFY2(got == status, qPrintable(u"%1\n%2%3"_qs.arg(got).arg(outText, errText)));
        QCOMPARE(Contents(path()) != before, fileChanged);
        if (trouble == u"changed")
            QVERIFY2(outText.contains(u"81    04"_qs), qPrintable(outText));
        if (trouble == u"interrupt")
            QVERIFY2(errText.contains(SysloadText::ReadStopped(5, 18, 0)), qPrintable(errText));
    }
};

QTEST_MAIN(TestSysloadField)
#include "tst_sysloadfield.moc"
