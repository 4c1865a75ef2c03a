// The window driven by its control names, against a fake port.
#include "fakebusport.h"
#include "voxbookwindow.h"

#include "testbytes.h"
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

struct Rig
{
    QTemporaryDir dir;
    FakeBusPort port;
    VoxbookWindow window{&port, {5ms, 5ms, dir.filePath(u"umd_9C.txt"_s)}};

    QComboBox *list(const QString &name) { return window.findChild<QComboBox *>(name); }
    QComboBox *phrases(int k) { return list(u"Combo_d%1"_s.arg(k)); }
    QString status() { return window.findChild<QLabel *>(u"Label_s"_s)->text(); }
    void click(const QString &button)
    {
        QTest::mouseClick(window.findChild<QPushButton *>(button), Qt::LeftButton);
    }
    // Types into a list and presses Enter, as the installer does.
    void type(QComboBox *box, const QString &text)
    {
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), text);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    }
    void choose(QComboBox *box, const QString &item)
    {
        box->setCurrentIndex(box->findText(item));
        emit box->activated(box->currentIndex());
    }
    QStringList shown()
    {
        QStringList texts;
        for (int k = 0; k < 8; ++k)
            texts.append(phrases(k)->isEnabled() ? phrases(k)->currentText()
                                                 : u"(%1)"_s.arg(phrases(k)->currentText()));
        return texts;
    }
};

} // namespace

class TestVoxbookWindow : public QObject
{
    Q_OBJECT
private slots:
    void controlsAndStart();
    void editing();
    void fileButtons();
};

void TestVoxbookWindow::controlsAndStart()
{
    Rig rig;
    QCOMPARE(rig.window.windowTitle(), u"Программирование говорилки  9С"_s);
    const QList<std::pair<QString, QString>> buttons{{u"Command1"_s, u"читать файл umd_9C.txt"_s},
                                                     {u"Command2"_s, u"запись в файл umd_9C.txt"_s},
                                                     {u"Command3"_s, u"читать из контр."_s},
                                                     {u"Command4"_s, u"запись в контр."_s},
                                                     {u"Command5"_s, u"Проверка сценария"_s}};
    for (const auto &[name, caption] : buttons)
        QCOMPARE(rig.window.findChild<QPushButton *>(name)->text(), caption);
    QCOMPARE(rig.window.findChild<QLabel *>(u"Label1"_s)->text(), u"Номер сценария"_s);
    QCOMPARE(rig.window.findChild<QLabel *>(u"Label2"_s)->text(), u"Фразы в сценарии"_s);
    QCOMPARE(rig.status(), u"Статус:"_s);
    QCOMPARE(rig.list(u"Combo_adr"_s)->currentText(), u"E0"_s);
    QCOMPARE(rig.shown(), QStringList({u"нет"_s, u"нет"_s, u"нет"_s, u"нет"_s, u"(нет)"_s,
                                       u"(нет)"_s, u"(нет)"_s, u"(нет)"_s}));

    FakeBusPort closed;
    closed.open = false;
    VoxbookWindow window(&closed, {5ms, 5ms, rig.dir.filePath(u"x"_s)});
    QCOMPARE(window.findChild<QLabel *>(u"Label_s"_s)->text(), u"Статус: Порт fake не открыт"_s);
}

void TestVoxbookWindow::editing()
{
    Rig rig;
    QComboBox *number = rig.list(u"Combo_adr"_s);
    const QList<qint16> row1{0x0F, 0x34, 0x35, 0x10, 0, 0, 0, 0x70};
    for (int k = 0; k < 8; ++k)
        rig.window.image().setCell(1, k, row1[k]);
    rig.type(number, u"E0"_s);
    // 10 is no phrase: shown as "нет", kept in the image.
    QCOMPARE(rig.shown(),
             QStringList({u"сказать время"_s, u"температура"_s, u"на улице"_s, u"нет"_s, u"(нет)"_s,
                          u"(нет)"_s, u"(нет)"_s, u"(ВНИМАНИЕ)"_s}));
    QCOMPARE(rig.window.image().cell(1, 3), 0x10);

    rig.choose(number, u"E1"_s);
    QCOMPARE(rig.shown().at(0), u"(сказать время)"_s);
    QCOMPARE(rig.shown().at(7), u"ВНИМАНИЕ"_s);
    rig.choose(rig.phrases(4), u"сон"_s);
    rig.choose(rig.phrases(7), u"нет"_s);
    QCOMPARE(rig.window.image().cell(1, 4), 0x38);
    QCOMPARE(rig.window.image().cell(1, 7), 0);

    // Text put into a list or typed without a choice changes nothing.
    rig.phrases(5)->setEditText(u"сон"_s);
    QCOMPARE(rig.window.image().cell(1, 5), 0);

    rig.type(number, u"F9"_s);
    QCOMPARE(rig.shown(), QStringList(8, u"нет"_s));
    rig.choose(rig.phrases(7), u"огорода"_s);
    QCOMPARE(rig.window.image().cell(18, 7), 0x61);

    // A number that is not offered leaves the view alone.
    for (const QString &typed : {u"F8"_s, u""_s, u"G0"_s}) {
        rig.type(number, typed);
        QCOMPARE(rig.shown().at(7), u"огорода"_s);
        QVERIFY2(rig.status().contains(u"не из списка"_s), qPrintable(rig.status()));
    }

    // The write run sends the code that is no phrase unchanged.
    rig.click(u"Command4"_s);
    QTRY_COMPARE(rig.status(), u"Статус:"_s + QString(27, u' '));
    QCOMPARE(rig.port.written.left(13), Hex("F0 9C 08 00 0F 34 35 10 38 00 00 00 64"));
}

void TestVoxbookWindow::fileButtons()
{
    Rig rig;
    rig.click(u"Command1"_s);
    QVERIFY(rig.status().contains(u"umd_9C.txt не прочитан"_s));
    QVERIFY(rig.status().endsWith(u"сценарии не изменены"_s));

    rig.window.image().setCell(1, 0, 0x0F);
    rig.window.image().setCell(17, 3, 0x99);
    rig.click(u"Command2"_s);
    QCOMPARE(rig.status(), u"Статус: файл umd_9C.txt записан"_s);
    rig.window.image() = AnnouncerImage();
    rig.window.Combo_adr_Click();
    QCOMPARE(rig.shown().at(0), u"нет"_s);

    rig.click(u"Command1"_s);
    QCOMPARE(rig.status(), u"Статус: файл umd_9C.txt прочитан"_s);
    QCOMPARE(rig.shown().at(0), u"сказать время"_s); // the view is refreshed
    QCOMPARE(rig.window.image().cell(17, 3), 0x99);

    // A save that cannot be made says so.
    VoxbookWindow window(&rig.port, {5ms, 5ms, rig.dir.filePath(u"no/such/umd_9C.txt"_s)});
    window.findChild<QPushButton *>(u"Command2"_s)->click();
    QVERIFY(window.findChild<QLabel *>(u"Label_s"_s)->text().contains(u"не записан"_s));
}

QTEST_MAIN(TestVoxbookWindow)
#include "tst_voxbookwindow.moc"
