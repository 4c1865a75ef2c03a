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

class TestVoxbookWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void controls();
    void editing();
    void fileButtons();

private:
    template <typename T> T *find(const QString &name) { return m_window->findChild<T *>(name); }
    QComboBox *phrases(int k) { return find<QComboBox>(u"Combo_d%1"_s.arg(k)); }
    QString status() { return find<QLabel>(u"Label_s"_s)->text(); }
    void click(const QString &button) { find<QPushButton>(button)->click(); }
    // Types into a list and presses Enter, as the installer does.
    void type(const QString &list, const QString &text)
    {
        QLineEdit *edit = find<QComboBox>(list)->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    // Picks an item of a list, as a click in its drop-down does.
    void choose(const QString &list, const QString &item)
    {
        QComboBox *box = find<QComboBox>(list);
        box->setCurrentIndex(box->findText(item));
        emit box->activated(box->currentIndex());
    }
    // The phrase lists, a disabled one in brackets.
    QStringList shown()
    {
        QStringList texts;
        for (int k = 0; k < 8; ++k)
            texts.append(phrases(k)->isEnabled() ? phrases(k)->currentText()
                                                 : u"(%1)"_s.arg(phrases(k)->currentText()));
        return texts;
    }

    QTemporaryDir m_dir;
    FakeBusPort m_port;
    std::unique_ptr<VoxbookWindow> m_window;
};

void TestVoxbookWindow::init()
{
    m_port.open = true;
    m_window = std::make_unique<VoxbookWindow>(
        &m_port, VoxbookOptions{5ms, 5ms, m_dir.filePath(u"umd_9C.txt"_s)});
}

void TestVoxbookWindow::cleanup()
{
    m_window.reset();
    QFile::remove(m_dir.filePath(u"umd_9C.txt"_s));
}

void TestVoxbookWindow::controls()
{
    QCOMPARE(m_window->windowTitle(), u"Программирование говорилки  9С"_s);
    const QStringList captions{u"читать файл umd_9C.txt"_s, u"запись в файл umd_9C.txt"_s,
                               u"читать из контр."_s, u"запись в контр."_s, u"Проверка сценария"_s};
    for (int k = 1; k <= 5; ++k)
        QCOMPARE(find<QPushButton>(u"Command%1"_s.arg(k))->text(), captions[k - 1]);
    QCOMPARE(find<QLabel>(u"Label1"_s)->text(), u"Номер сценария"_s);
    QCOMPARE(find<QLabel>(u"Label2"_s)->text(), u"Фразы в сценарии"_s);
    QCOMPARE(status(), u"Статус:"_s);
    QCOMPARE(find<QComboBox>(u"Combo_adr"_s)->currentText(), u"E0"_s);
    QCOMPARE(shown(), QStringList({u"нет"_s, u"нет"_s, u"нет"_s, u"нет"_s, u"(нет)"_s, u"(нет)"_s,
                                   u"(нет)"_s, u"(нет)"_s}));

    m_port.open = false;
    VoxbookWindow closed(&m_port, {5ms, 5ms, m_dir.filePath(u"x"_s)});
    QCOMPARE(closed.findChild<QLabel *>(u"Label_s"_s)->text(), u"Статус: Порт fake не открыт"_s);
}

void TestVoxbookWindow::editing()
{
    const QList<qint16> row1{0x0F, 0x34, 0x35, 0x10, 0, 0, 0, 0x70};
    for (int k = 0; k < 8; ++k)
        m_window->image().setCell(1, k, row1[k]);
    type(u"Combo_adr"_s, u"E0"_s);
    // 10 is no phrase: shown as "нет", kept in the image.
    QCOMPARE(shown(), QStringList({u"сказать время"_s, u"температура"_s, u"на улице"_s, u"нет"_s,
                                   u"(нет)"_s, u"(нет)"_s, u"(нет)"_s, u"(ВНИМАНИЕ)"_s}));
    choose(u"Combo_adr"_s, u"E1"_s);
    QCOMPARE(shown().mid(3, 2), QStringList({u"(нет)"_s, u"нет"_s}));
    choose(u"Combo_d4"_s, u"сон"_s);
    choose(u"Combo_d7"_s, u"нет"_s);
    phrases(5)->setEditText(u"сон"_s); // text put in, not chosen
    QCOMPARE(m_window->image().cell(1, 4), 0x38);
    QCOMPARE(m_window->image().cell(1, 5), 0);
    QCOMPARE(m_window->image().cell(1, 7), 0);

    type(u"Combo_adr"_s, u"F9"_s);
    choose(u"Combo_d7"_s, u"огорода"_s);
    QCOMPARE(m_window->image().cell(18, 7), 0x61);
    type(u"Combo_adr"_s, u"F8"_s); // not offered: the view stays
    QCOMPARE(shown().at(7), u"огорода"_s);
    QVERIFY(status().contains(u"«F8» не из списка"_s));

    // The code that is no phrase goes back to the announcer unchanged.
    click(u"Command4"_s);
    QTRY_COMPARE(status(), u"Статус:"_s + QString(27, u' '));
    QCOMPARE(m_port.written.left(13), Hex("F0 9C 08 00 0F 34 35 10 38 00 00 00 64"));
}

void TestVoxbookWindow::fileButtons()
{
    click(u"Command1"_s); // no file yet
    QVERIFY(status().endsWith(u"сценарии не изменены"_s));
    m_window->image().setCell(1, 0, 0x0F);
    click(u"Command2"_s);
    QCOMPARE(status(), u"Статус: файл umd_9C.txt записан"_s);
    m_window->image() = AnnouncerImage();
    type(u"Combo_adr"_s, u"E"_s); // no scenario: the view keeps E0
    click(u"Command1"_s);
    QCOMPARE(status(), u"Статус: файл umd_9C.txt прочитан"_s);
    QCOMPARE(shown().at(0), u"сказать время"_s); // the view is refreshed
}

QTEST_MAIN(TestVoxbookWindow)
#include "tst_voxbookwindow.moc"
