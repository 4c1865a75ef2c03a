// The window offscreen, driven by object name: its controls, the start-up
// load with its one message box, and the ticking.
#include "mainwindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestSysloadWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void controlsAndArrangement();
    void startWithoutFile();
    void startWithFileTicksMarkedSlots();
    void runWithoutPortSaysSo();

private:
    struct Box
    {
        QString title;
        QString text;
        int buttons = 0;
    };
    // A window on a device that does not exist and a file in a fresh folder.
    std::unique_ptr<MainWindow> makeWindow();
    QTemporaryDir m_dir;
    QList<Box> m_boxes;
};

void TestSysloadWindow::init()
{
    QFile::remove(m_dir.filePath(QStringLiteral("sysload.txt")));
    m_boxes.clear();
}

std::unique_ptr<MainWindow> TestSysloadWindow::makeWindow()
{
    SysloadOptions options;
    options.device = m_dir.filePath(QStringLiteral("no-such-port"));
    options.imagePath = m_dir.filePath(QStringLiteral("sysload.txt"));
    auto window = std::make_unique<MainWindow>(options);
    window->setMessageHook([this](QMessageBox &box) {
        m_boxes.append({box.windowTitle(), box.text(), int(box.buttons().size())});
        return int(QMessageBox::Ok);
    });
    return window;
}

void TestSysloadWindow::controlsAndArrangement()
{
    const auto window = makeWindow();
    QCOMPARE(window->findChild<QLabel *>(u"Label2"_qs)->text(), u"Статус:"_qs);
    window->Form_Load();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->objectName(), u"Form1"_qs);
    QCOMPARE(window->windowTitle(), u"умный дом"_qs);
    const auto widget = [&](const char *name) {
        QWidget *found = window->findChild<QWidget *>(QString::fromLatin1(name));
        return found ? found->geometry() : QRect();
    };
    const auto text = [&](const char *name) {
        QWidget *found = window->findChild<QWidget *>(QString::fromLatin1(name));
        if (auto *label = qobject_cast<QLabel *>(found))
            return label->text();
        auto *button = qobject_cast<QAbstractButton *>(found);
        return button ? button->text() : QString();
    };
    QCOMPARE(text("Label1"), u"Программа чтения и записи ЕЕ контроллеров системы умного дома"_qs);
    QCOMPARE(text("Command1"), u"система в файл sysload.txt"_qs);
    QCOMPARE(text("Command2"), u"из файла sysload.txt в систему"_qs);
    QCOMPARE(text("adr_00"), u"контроллер адрес $00"_qs);
    QCOMPARE(text("adr_87"), u"индикатор часовой $87"_qs);
    QCOMPARE(text("adr_90"), u"клавиатурный $90"_qs);
    QCOMPARE(text("adr_98"), u"системный $98"_qs);
    QCOMPARE(text("adr_9c"), u"говорилка $9C"_qs);
    QCOMPARE(text("adr_9d"), u"контроллер SMS $9D"_qs);

    // Boards left, indicators right, row by row; 90 beside 98, then 9C beside 9D.
    for (int i = 0; i < 8; ++i) {
        const QRect board = widget(qPrintable(QStringLiteral("adr_0%1").arg(i)));
        const QRect indicator = widget(qPrintable(QStringLiteral("adr_8%1").arg(i)));
        QVERIFY(board.right() < indicator.left());
        QCOMPARE(board.top(), indicator.top());
        if (i > 0)
            QVERIFY(board.top() > widget(qPrintable(QStringLiteral("adr_0%1").arg(i - 1))).top());
    }
    QCOMPARE(widget("adr_90").top(), widget("adr_98").top());
    QVERIFY(widget("adr_90").top() > widget("adr_07").bottom());
    QCOMPARE(widget("adr_9c").top(), widget("adr_9d").top());
    QVERIFY(widget("adr_9c").top() > widget("adr_90").bottom());
    QCOMPARE(widget("Command1").top(), widget("Command2").top());
    QVERIFY(widget("Command1").right() < widget("Command2").left());
    QVERIFY(widget("Command1").top() > widget("adr_9c").bottom());
    QVERIFY(widget("Label2").top() > widget("Command1").bottom());
    // Nothing clipped: every box shows its whole caption.
    for (QCheckBox *box : window->findChildren<QCheckBox *>())
        QVERIFY2(box->width() >= box->sizeHint().width(), qPrintable(box->objectName()));

    window->grab().save(QStringLiteral("/tmp/sysload-window.png"));
}

void TestSysloadWindow::startWithoutFile()
{
    const auto window = makeWindow();
    window->Form_Load();
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).text, u"Ошибка, нет готового файла"_qs);
    QCOMPARE(m_boxes.at(0).title, u"sysload"_qs);
    QCOMPARE(m_boxes.at(0).buttons, 1);
    for (QCheckBox *box : window->findChildren<QCheckBox *>())
        QVERIFY(!box->isChecked());
    QVERIFY(window->systemImage() == SystemImage());
    // The status line tells why.
    QVERIFY(window->findChild<QLabel *>(u"Label2"_qs)->text().contains(u"sysload.txt"_qs));
}

void TestSysloadWindow::startWithFileTicksMarkedSlots()
{
    SystemImage image;
    image.at(8, 0)[0] = 1;   // indicator 80
    image.at(19, 0)[0] = -3; // telephone: any value but 0 marks it
    image.at(0, 0)[1] = 9;   // board 00: only byte 1 is the marker
    QVERIFY(SaveImageFile(image, m_dir.filePath(QStringLiteral("sysload.txt"))).isEmpty());

    const auto window = makeWindow();
    window->Form_Load();
    QVERIFY(m_boxes.isEmpty());
    QStringList ticked;
    for (QCheckBox *box : window->findChildren<QCheckBox *>())
        if (box->isChecked())
            ticked << box->objectName();
    QCOMPARE(ticked, QStringList({u"adr_80"_qs, u"adr_9d"_qs}));
}

void TestSysloadWindow::runWithoutPortSaysSo()
{
    const auto window = makeWindow();
    window->Form_Load();
    window->findChild<QCheckBox *>(u"adr_00"_qs)->setChecked(true);
    QTest::mouseClick(window->findChild<QPushButton *>(u"Command2"_qs), Qt::LeftButton);
    const QString status = window->findChild<QLabel *>(u"Label2"_qs)->text();
    QVERIFY2(status.contains(u"не открыт"_qs) && status.contains(u"no-such-port"_qs),
             qPrintable(status));
}

QTEST_MAIN(TestSysloadWindow)
#include "tst_sysloadwindow.moc"
