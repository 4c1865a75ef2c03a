// The window around a tool's form, on the simulated network's pseudo-terminal:
// the port menu reopens the line at the bus settings, and busprobe's exchange
// log holds every byte on the bus.
#include "busport.h"
#include "exchangelogwindow.h"
#include "portchoice.h"
#include "probewindow.h"
#include "toolwindow.h"

#include "simharness.h"
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Each line of the tool's log of JSON lines: dir|bytes|frame|addr|cmd|checksum,
// after "no time" when it lacks t_us or wall.
QStringList LogLines(const QString &path)
{
    QFile file(path);
    QStringList lines;
    if (file.open(QIODevice::ReadOnly))
        while (!file.atEnd()) {
            const QJsonObject line = QJsonDocument::fromJson(file.readLine()).object();
            QStringList fields;
            for (const char *name : {"dir", "bytes", "frame", "addr", "cmd", "checksum"})
                fields.append(line.value(QLatin1StringView(name)).toString());
            if (!line.value(u"t_us").isDouble() || !line.value(u"wall").isString())
                fields.prepend(u"no time"_qs);
            lines.append(fields.join(u'|'));
        }
    return lines;
}

// busprobe's form in the window, on the simulated network.
struct Rig
{
    explicit Rig(SimHarness &sim)
        : port(OpenBusPort(sim.device())), form(new ProbeWindow({.port = port.get()}))
    {
        const auto busy = [this] {
            return exchanging;
        };
        const auto show = [this](const QString &text) {
            status = text;
        };
        window = std::make_unique<ToolWindow>(form, ToolBinding{port.get(), busy, show});
    }
    void press()
    {
        form->Command1_Click();
        window->exchangeLog().flush();
    }
    std::unique_ptr<BusPort> port;
    ProbeWindow *form;
    std::unique_ptr<ToolWindow> window;
    bool exchanging = false;
    QString status;
};

} // namespace

class TestToolWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    }

    void reopenSetsTheBusLine()
    {
        SimHarness sim;
        QVERIFY2(sim.ok(), qPrintable(sim.error()));
        Rig rig(sim);
        // Someone else leaves the line at 9600 7E2 with hardware flow control.
        const int fd = ::open(sim.device().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        termios line{};
        QCOMPARE(tcgetattr(fd, &line), 0);
        cfsetispeed(&line, B9600);
        cfsetospeed(&line, B9600);
        line.c_cflag = (line.c_cflag & ~tcflag_t(CSIZE)) | CS7 | PARENB | CSTOPB | CRTSCTS;
        QCOMPARE(tcsetattr(fd, TCSANOW, &line), 0);

        rig.exchanging = true;
        QVERIFY(!rig.window->choosePort(sim.device()));
        QCOMPARE(rig.status, u"Порт не сменён: идёт обмен, дождитесь его конца"_qs);
        QCOMPARE(tcgetattr(fd, &line), 0);
        QCOMPARE(cfgetospeed(&line), speed_t(B9600));

        rig.exchanging = false;
        QVERIFY(rig.window->choosePort(sim.device()));
        QCOMPARE(rig.status, u"Порт %1 открыт, 19200 8N1"_qs.arg(sim.device()));
        QCOMPARE(tcgetattr(fd, &line), 0);
        ::close(fd);
        QCOMPARE(cfgetospeed(&line), speed_t(B19200));
        QCOMPARE(cfgetispeed(&line), speed_t(B19200));
        QCOMPARE(line.c_cflag & tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
        QCOMPARE(RememberedPort(), sim.device());

        // The menu marks the open port, though the system lists no pseudo-terminal.
        rig.window->show();
        QMenu *menu = rig.window->portMenu();
        menu->popup(rig.window->mapToGlobal(rig.window->menuBar()->geometry().bottomLeft()));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QStringList marked;
        for (QAction *action : menu->actions())
            if (action->isChecked())
                marked.append(action->text());
        QCOMPARE(marked, QStringList{sim.device()});
        menu->close();

        // A title the form changes (a run's percentage) is the window's.
        rig.form->setWindowTitle(u"50 % — busprobe"_qs);
        QCOMPARE(rig.window->windowTitle(), u"50 % — busprobe"_qs);
    }

    // Then the file stops taking lines: that is said once, and the exchanges go
    // on. Every byte on the bus is in the log file and the window, decoded. Then
    // the file stops taking lines: that is said once, and the exchanges go on.
    void exchangeLog()
    {
        SimHarness sim;
        QVERIFY2(sim.ok(), qPrintable(sim.error()));
        Rig rig(sim);
        QVERIFY(!rig.window->logToFile(u"/nonexistent/tool.log"_qs));
        QVERIFY2(
            rig.status.startsWith(u"Журнал обмена не записывается: /nonexistent/tool.log: "_qs),
            qPrintable(rig.status));
        const QString path = m_dir.filePath(u"tool.log"_qs);
        QVERIFY(rig.window->logToFile(path));
        ExchangeLogWindow *view = rig.window->showExchangeLog();

        // A presence poll to board 00; again with a wrong checksum; again with
        // another request on the bus before the reply (the tester sends again);
        // again with the reply in two pieces, neither of them a frame.
        rig.press();
        sim.setFault(0x00, {bussim::Fault::Kind::BadChecksum, 0, 30, 1});
        rig.press();
        sim.setFault(0x00, {bussim::Fault::Kind::Foreign, 0, 30, 1});
        rig.press();
        sim.setFault(0x00, {bussim::Fault::Kind::Split, 2, 60, 1});
        rig.press();

        // The foreign request and the reply after it come in one burst.
        const QString poll = u"out|F0 00 01 01|request|00|01|good"_qs,
                      done = u"in|F8 00 01 01|reply|00|01|good"_qs;
        QCOMPARE(LogLines(path),
                 (QStringList{poll, done, poll, u"in|F8 00 01 02|reply|00|01|bad"_qs, poll,
                              u"in|F0 05 01 06|request|05|01|good"_qs, done, poll, done, poll,
                              u"in|F8 00|none|||"_qs, u"in|01 01|none|||"_qs}));
        QTRY_COMPARE(view->model().rowCount(), 12);
        const auto time = [view](int row) {
            return view->model().index(row, 0).data().toString();
        };
        QCOMPARE(view->model().rowsText({1, 3}),
                 u"%1\tпринято\tF8 00 01 01\tответ 00 01 выполнено; сумма верна\n"
                 "%2\tпринято\tF8 00 01 02\tответ 00 01 выполнено; сумма неверна\n"_qs.arg(
                     time(1), time(3)));

        // /dev/full opens, and takes no byte.
        QVERIFY(rig.window->logToFile(u"/dev/full"_qs));
        rig.press();
        QVERIFY2(rig.status.startsWith(u"Журнал обмена больше не записывается: /dev/full: "_qs),
                 qPrintable(rig.status));
        QVERIFY(!rig.window->exchangeLog().isWritingFile());
        QVERIFY(rig.window->findChild<QMessageBox *>()->text().startsWith(u"Журнал обмена"_qs));
        QCOMPARE(rig.form->findChild<QLabel *>(u"Label_s"_qs)->text(), u"Статус:  ОК"_qs);
        rig.status.clear();
        rig.press();
        QCOMPARE(rig.status, QString());
        QCOMPARE(sim.requests().size(), 7);
    }

    void windowKeepsTheNewestEntries()
    {
        ExchangeLogModel model(3);
        QList<ExchangeEntry> entries;
        for (int i = 0; i < 5; ++i)
            entries.append({i, 0, true, DecodeTraffic(QByteArray(1, char(i))).constFirst()});
        model.append(entries.mid(0, 2));
        model.append(entries.mid(2, 2));
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.index(0, ExchangeLogModel::BytesColumn).data().toString(), u"01"_qs);
        model.append(entries); // more at once than it keeps
        QCOMPARE(model.index(0, ExchangeLogModel::BytesColumn).data().toString(), u"02"_qs);
        QCOMPARE(model.index(2, ExchangeLogModel::BytesColumn).data().toString(), u"04"_qs);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestToolWindow)
#include "tst_toolwindow.moc"
