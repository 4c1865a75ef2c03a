// The window offscreen, driven by object name: its controls and their
// arrangement, the start-up load with its one message box, and the ticking.
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
    void startWithoutFileOrPort();
    void startWithFileTicksMarkedSlots();

private:
    // A window on a device that does not exist, with its file in a fresh folder.
    std::unique_ptr<MainWindow> makeWindow()
    {
        SysloadOptions options;
        options.device = m_dir.filePath(QStringLiteral("no-such-port"));
        options.imagePath = m_dir.filePath(QStringLiteral("sysload.txt"));
        auto window = std::make_unique<MainWindow>(options);
        window->setMessageHook([this](QMessageBox &box) {
            m_boxes << QStringList{box.windowTitle(), box.text(),
                                   QString::number(box.buttons().size())};
            return int(QMessageBox::Ok);
        });
        return window;
    }
    QStringList ticked(const MainWindow &window)
    {
        QStringList names;
        for (const QCheckBox *box : window.findChildren<QCheckBox *>())
            if (box->isChecked())
                names << box->objectName();
        return names;
    }
    QTemporaryDir m_dir;
    QList<QStringList> m_boxes;
};

void TestSysloadWindow::startWithoutFileOrPort()
{
    const auto window = makeWindow();
    const auto text = [&](const char *name) {
        QWidget *found = window->findChild<QWidget *>(QString::fromLatin1(name));
        if (auto *label = qobject_cast<QLabel *>(found))
            return label->text();
        auto *button = qobject_cast<QAbstractButton *>(found);
        return button ? button->text() : QString();
    };
    const auto place = [&](const char *name) {
        return window->findChild<QWidget *>(QString::fromLatin1(name))->geometry();
    };
    QCOMPARE(text("Label2"), u"Статус:"_qs);
    window->Form_Load();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    QCOMPARE(m_boxes,
             QList({QStringList{u"sysload"_qs, u"Ошибка, нет готового файла"_qs, u"1"_qs}}));
    QVERIFY(ticked(*window).isEmpty());
    QVERIFY(window->systemImage() == SystemImage());
    QVERIFY(text("Label2").contains(u"sysload.txt"_qs)); // and says why

    QCOMPARE(window->objectName(), u"Form1"_qs);
    QCOMPARE(window->windowTitle(), u"умный дом"_qs);
    QCOMPARE(text("Label1"), u"Программа чтения и записи ЕЕ контроллеров системы умного дома"_qs);
    QCOMPARE(text("Command1"), u"система в файл sysload.txt"_qs);
    QCOMPARE(text("Command2"), u"из файла sysload.txt в систему"_qs);
    QCOMPARE(text("adr_00"), u"контроллер адрес $00"_qs);
    QCOMPARE(text("adr_87"), u"индикатор часовой $87"_qs);
    QCOMPARE(text("adr_90"), u"клавиатурный $90"_qs);
    QCOMPARE(text("adr_98"), u"системный $98"_qs);
    QCOMPARE(text("adr_9c"), u"говорилка $9C"_qs);
    QCOMPARE(text("adr_9d"), u"контроллер SMS $9D"_qs);

    // Boards left, indicators right, row by row; 90 beside 98, then 9C beside
    // 9D; the buttons side by side below them, the status line at the bottom.
    const auto beside = [&](const char *left, const char *right) {
        return place(left).top() == place(right).top() && place(left).right() < place(right).left();
    };
    for (int i = 0; i < 8; ++i) {
        const QByteArray board = "adr_0" + QByteArray::number(i);
        QVERIFY(beside(board, "adr_8" + QByteArray::number(i)));
        QVERIFY(i == 0 || place(board).top() > place("adr_0" + QByteArray::number(i - 1)).bottom());
    }
    QVERIFY(beside("adr_90", "adr_98") && place("adr_90").top() > place("adr_07").bottom());
    QVERIFY(beside("adr_9c", "adr_9d") && place("adr_9c").top() > place("adr_90").bottom());
    QVERIFY(beside("Command1", "Command2") && place("Command1").top() > place("adr_9c").bottom());
    QVERIFY(place("Label2").top() > place("Command1").bottom());
    for (QAbstractButton *control : window->findChildren<QAbstractButton *>())
        QVERIFY2(control->width() >= control->sizeHint().width(),
                 qPrintable(control->objectName()));
    window->grab().save(QStringLiteral("/tmp/sysload-window.png"));
}

void TestSysloadWindow::startWithFileTicksMarkedSlots()
{
    SystemImage image;
    image.at(8, 0)[0] = 1;   // indicator 80
    image.at(19, 0)[0] = -3; // telephone: any value but 0 marks it
    image.at(0, 0)[1] = 9;   // board 00: only the first byte is the marker
    QVERIFY(SaveImageFile(image, m_dir.filePath(QStringLiteral("sysload.txt"))).isEmpty());
    m_boxes.clear();

    const auto window = makeWindow();
    window->Form_Load();
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(ticked(*window), QStringList({u"adr_80"_qs, u"adr_9d"_qs}));

    // A run without the port says so, naming the device.
    QTest::mouseClick(window->findChild<QPushButton *>(u"Command2"_qs), Qt::LeftButton);
    const QString status = window->findChild<QLabel *>(u"Label2"_qs)->text();
    QVERIFY2(status.contains(u"не открыт"_qs) && status.contains(u"no-such-port"_qs),
             qPrintable(status));
}

QTEST_MAIN(TestSysloadWindow)
#include "tst_sysloadwindow.moc"
