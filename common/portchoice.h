#pragma once

#include <QSerialPort>
#include <QString>

// Which serial device a tool opens, and why it could not.

// Where the device a tool opens was named.
enum class PortSource
{
    CommandLine, // --port DEVICE
    Environment, // UMD_SERIAL_PORT
    Remembered,  // last chosen in the "Порт" menu of any of the tools
    Platform,    // "port 1": /dev/ttyS0, or COM1 on Windows
};

struct PortChoice
{
    QString device;
    PortSource source = PortSource::Platform;
};

// The first of the named devices that is not empty, in the order
// command line, environment, remembered; else the platform's first port.
PortChoice ChoosePort(const QString &commandLine, const QString &environment,
                      const QString &remembered);
// The same with the environment variable and the remembered port read here.
PortChoice ChoosePort(const QString &commandLine);

// The platform's first serial port.
QString PlatformFirstPort();

// The port last chosen in a tool's menu, kept per user and shared by the
// four tools; empty when none was ever chosen.
QString RememberedPort();
void RememberPort(const QString &device);

// Why a device could not be opened, in words that tell the installer what to
// do: for a device that is not there, to choose one in the menu; on Linux, for
// one the user may not use, to join the dialout group. `accessible` says
// whether the user may read and write the device file at all; a device that
// is accessible and still refused is held by another program.
QString OpenFailureText(const QString &device, QSerialPort::SerialPortError error, bool accessible,
                        const QString &systemText);
