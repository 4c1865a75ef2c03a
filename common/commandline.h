#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QCommandLineParser;

// The command-line options every tool shares: --port DEVICE and --log FILE.
struct BusOptions
{
    QString port;    // empty: the tool chooses (ChoosePort())
    QString logPath; // empty: no exchange log file
};

// Adds --port DEVICE and --log FILE to a parser.
void AddBusOptions(QCommandLineParser &parser);
BusOptions ReadBusOptions(const QCommandLineParser &parser);

// Adds --help and --version, parses `arguments` (the program first) and deals
// with what ends the program at once: --help, --help-all and --version are
// printed on standard output (exit code 0); an option the parser does not
// know, a missing value, or --port or --log with an empty one, is printed
// with the usage on standard error (exit code 2).
// Returns the exit code when the program is to end now. Needs a
// QCoreApplication (or QApplication) with its name set.
std::optional<int> ParseCommandLine(QCommandLineParser &parser, const QStringList &arguments);

// Prints `why` with the usage on standard error, as ParseCommandLine() does
// for an option it does not know; the program is then to end with exit code 2.
void PrintRefusal(const QCommandLineParser &parser, const QString &why);

// The arguments without the window system's own options (-platform xcb,
// -style fusion, -session ID from a session manager ...), which a window's
// application object takes for itself: what a windowed tool parses.
QStringList WithoutWindowSystemOptions(const QStringList &arguments);

// For a windowed tool: reads its command line before the window's
// application object exists, so that --help and --version work where there
// is no display, and fills `options`. Returns the exit code when the program
// is to end now.
std::optional<int> ReadToolCommandLine(int &argc, char **argv, const QString &name,
                                       const QString &description, BusOptions *options);
