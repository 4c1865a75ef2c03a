#include "portchoice.h"

#include "busport.h"

#include <QSettings>

namespace {

// One settings file for the four tools, whatever each one's own name.
const QString Organisation = QStringLiteral("umd-tools");
const QString SettingsName = QStringLiteral("bus");
const QString PortKey = QStringLiteral("port/device");

} // namespace

QString PlatformFirstPort()
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM1");
#else
    return QStringLiteral("/dev/ttyS0");
#endif
}

PortChoice ChoosePort(const QString &commandLine, const QString &environment,
                      const QString &remembered)
{
    if (!commandLine.isEmpty())
        return {commandLine, PortSource::CommandLine};
    if (!environment.isEmpty())
        return {environment, PortSource::Environment};
    if (!remembered.isEmpty())
        return {remembered, PortSource::Remembered};
    return {PlatformFirstPort(), PortSource::Platform};
}

PortChoice ChoosePort(const QString &commandLine)
{
    return ChoosePort(commandLine, qEnvironmentVariable(SerialBusPort::DeviceVariable),
                      RememberedPort());
}

QString RememberedPort()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organisation,
                             SettingsName);
    return settings.value(PortKey).toString();
}

void RememberPort(const QString &device)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organisation, SettingsName);
    settings.setValue(PortKey, device);
}

QString OpenFailureText(const QString &device, QSerialPort::SerialPortError error, bool accessible,
                        const QString &systemText)
{
    const QString head = QStringLiteral("Порт %1 не открыт: ").arg(device);
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return head + QStringLiteral("такого устройства нет; выберите порт в меню «Порт»");
    case QSerialPort::PermissionError:
        if (accessible)
            return head + QStringLiteral("порт занят другой программой");
#ifdef Q_OS_LINUX
        return head + QStringLiteral("нет прав на устройство; добавьте пользователя в группу "
                                     "dialout (sudo usermod -aG dialout $USER) и войдите в "
                                     "систему заново");
#else
        return head + QStringLiteral("нет доступа к устройству");
#endif
    default:
        return head + systemText;
    }
}
