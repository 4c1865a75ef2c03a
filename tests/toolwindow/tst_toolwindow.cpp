// The window around a tool's form, on the simulated network's pseudo-terminal:
// the port menu reopens the line at the bus settings, and the exchange log
// of busprobe lines up with bussim's own log.
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

// Each line of a log of JSON lines as its dir, bytes, frame, addr, cmd and checksum.
QList<QStringList> LogLines(const QString &path)
{
    QFile file(path);
    QList<QStringList> lines;
    if (file.open(QIODevice::ReadOnly))
        while (!file.atEnd()) {
            const QJsonObject line = QJsonDocument::fromJson(file.readLine()).object();
            lines.append(QStringList());
            for (const char *name : {"dir", "bytes", "frame", "addr", "cmd", "checksum"})
                lines.last().append(line.value(QLatin1StringView(name)).toString());
        }
    return lines;
}

// busprobe's form in the window, on the simulated network.
struct Rig
{
    explicit Rig(SimHarness &sim) : form(new ProbeWindow({.device = sim.device()}))
    {
        const auto busy = [this] {
            return exchanging;
        };
        const auto show = [this](const QString &text) {
            status = text;
        };
        window = std::make_unique<ToolWindow>(form, ToolBinding{form->ownPort(), busy, show});
    }
    void press()
    {
        form->Command1_Click();
        window->exchangeLog().flush();
    }
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

    // Then the file stops taking lines: that is said once, and the exchanges go on.
    void logLinesUpWithBussim()
    {
        SimHarness sim;
        QVERIFY2(sim.ok(), qPrintable(sim.error()));
        bussim::FrameLog simLog;
        const QString simPath = m_dir.filePath(u"bus.log"_qs),
                      toolPath = m_dir.filePath(u"tool.log"_qs);
        QString error;
        QVERIFY2(simLog.open(simPath, &error), qPrintable(error));
        sim.server().setLog(&simLog);
        Rig rig(sim);
        QVERIFY(!rig.window->logToFile(u"/nonexistent/tool.log"_qs));
        QVERIFY2(
            rig.status.startsWith(u"Журнал обмена не записывается: /nonexistent/tool.log: "_qs),
            qPrintable(rig.status));
        QVERIFY(rig.window->logToFile(toolPath));
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

        // What the tool sent is what bussim took in, and what it received, laid
        // end to end, is what bussim wrote; each entry received is decoded.
        QStringList sent, received, simIn, simOut, kinds; // kinds: frame, address, code, checksum
        for (const QStringList &line : LogLines(toolPath)) {
            (line[0] == u"out" ? sent : received).append(line[1]);
            if (line[0] != u"out")
                kinds.append(line.mid(2).join(u','));
        }
        for (const QStringList &line : LogLines(simPath))
            if (line[0] != u"event")
                (line[0] == u"in" ? simIn : simOut).append(line[1]);
        QCOMPARE(sent.size(), 5);
        QCOMPARE(sent, simIn);
        QCOMPARE(simOut.size(), 6);
        QCOMPARE(received.join(u' '), simOut.join(u' '));
        QCOMPARE(kinds.join(u' '), u"reply,00,01,good reply,00,01,bad request,05,01,good "
                                   u"reply,00,01,good reply,00,01,good none,,, none,,,"_qs);
        // The window shows the same entries, decoded.
        QTRY_COMPARE(view->model().rowCount(), int(sent.size() + received.size()));
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
