// Which device a tool opens, and what it says when it cannot.
#include "busport.h"
#include "portchoice.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(PortSource)

class TestPortChoice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void order_data();
    void order();
    void failureTexts_data();
    void failureTexts();

private:
    QTemporaryDir m_settings;
};

void TestPortChoice::initTestCase()
{
    // The user's own remembered port is never read nor written here.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
}

void TestPortChoice::order_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QString>("device");
    QTest::addColumn<PortSource>("source");

    const auto row = [](const char *name, const char *commandLine, const char *environment,
                        const char *remembered, const QString &device, PortSource source) {
        QTest::newRow(name) << commandLine << environment << remembered << device << source;
    };
    row("all three", "/dev/ttyUSB1", "/dev/pts/4", "/dev/ttyUSB0", u"/dev/ttyUSB1"_qs,
        PortSource::CommandLine);
    row("environment before remembered", "", "/dev/pts/4", "/dev/ttyUSB0", u"/dev/pts/4"_qs,
        PortSource::Environment);
    row("remembered", "", "", "/dev/ttyUSB0", u"/dev/ttyUSB0"_qs, PortSource::Remembered);
    row("none: port 1", "", "", "", PlatformFirstPort(), PortSource::Platform);
}

// Each row runs through the real sources: the environment variable and the
// settings the four tools share.
void TestPortChoice::order()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, environment);
    QFETCH(QString, remembered);
    QFETCH(QString, device);
    QFETCH(PortSource, source);

    qputenv(SerialBusPort::DeviceVariable, environment.toLocal8Bit());
    RememberPort(remembered);
    const PortChoice choice = ChoosePort(commandLine);
    qunsetenv(SerialBusPort::DeviceVariable);
    QCOMPARE(choice.device, device);
    QCOMPARE(int(choice.source), int(source));
}

void TestPortChoice::failureTexts_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("accessible");
    QTest::addColumn<QString>("text");

    const QString head = u"Порт /dev/ttyUSB0 не открыт: "_qs;
    QTest::newRow("missing") << int(QSerialPort::DeviceNotFoundError) << false
                             << head + u"такого устройства нет; выберите порт в меню «Порт»"_qs;
#ifdef Q_OS_LINUX
    QTest::newRow("no rights")
        << int(QSerialPort::PermissionError) << false
        << head + u"нет прав на устройство; добавьте пользователя в группу dialout "
                  "(sudo usermod -aG dialout $USER) и войдите в систему заново"_qs;
#endif
    QTest::newRow("held by another program")
        << int(QSerialPort::PermissionError) << true << head + u"порт занят другой программой"_qs;
    QTest::newRow("other: the system's words")
        << int(QSerialPort::UnsupportedOperationError) << true << head + u"system text"_qs;
}

void TestPortChoice::failureTexts()
{
    QFETCH(int, error);
    QFETCH(bool, accessible);
    QFETCH(QString, text);
    QCOMPARE(OpenFailureText(u"/dev/ttyUSB0"_qs, QSerialPort::SerialPortError(error), accessible,
                             u"system text"_qs),
             text);
    // A device that is not there, opened for real, says the same.
    if (error == QSerialPort::DeviceNotFoundError) {
        SerialBusPort port;
        QVERIFY(!port.open(u"/dev/ttyUSB0-umd-absent"_qs));
        QCOMPARE(port.errorText(), QString(text).replace(u"ttyUSB0"_qs, u"ttyUSB0-umd-absent"_qs));
    }
}

QTEST_GUILESS_MAIN(TestPortChoice)
#include "tst_portchoice.moc"
