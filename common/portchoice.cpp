#include "portchoice.h"

#include <QSerialPortInfo>
#include <QSettings>
#include <QStringList>

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
    return ChoosePort(commandLine, qEnvironmentVariable(DeviceVariable), RememberedPort());
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

QList<PresentPort> PresentPorts()
{
    QList<PresentPort> present;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        QString title = info.portName();
        QStringList about;
        if (!info.description().isEmpty())
            about.append(info.description());
        if (!info.manufacturer().isEmpty() && info.manufacturer() != info.description())
            about.append(info.manufacturer());
        if (!about.isEmpty())
            title += QStringLiteral(" — ") + about.join(QStringLiteral(", "));
        present.append({info.portName(), info.systemLocation(), title});
    }
    return present;
}
