#pragma once

#include <QList>
#include <QString>

// Which device a tool opens.

// The environment variable that names the device of every tool.
inline constexpr const char *DeviceVariable = "UMD_SERIAL_PORT";

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

// A serial device present on this machine, as the port menu lists it.
struct PresentPort
{
    QString name;   // "ttyUSB0", "COM5"
    QString device; // what opens it: "/dev/ttyUSB0", "COM5"
    QString title;  // "ttyUSB0 — FT232R USB UART, FTDI": what an installer knows it by
    bool isDevice(const QString &text) const { return text == name || text == device; }
};
QList<PresentPort> PresentPorts();
