#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

const QString PortOption = QStringLiteral("port");
const QString LogOption = QStringLiteral("log");

// The window system's own options, which a window's application object
// takes for itself: with a value, and without.
const QStringList WindowValuedOptions{u"platform"_s,
                                      u"platformpluginpath"_s,
                                      u"platformtheme"_s,
                                      u"plugin"_s,
                                      u"qwindowgeometry"_s,
                                      u"qwindowtitle"_s,
                                      u"qwindowicon"_s,
                                      u"display"_s,
                                      u"geometry"_s,
                                      u"style"_s,
                                      u"stylesheet"_s,
                                      u"session"_s,
                                      u"name"_s,
                                      u"title"_s,
                                      u"visual"_s};
const QStringList WindowFlagOptions{u"reverse"_s, u"widgetcount"_s, u"sync"_s, u"nograb"_s,
                                    u"dograb"_s};

// --help-all: the tool's own options, then those the window takes.
QString FullHelpText(const QCommandLineParser &parser)
{
    QStringList window;
    for (const QString &name : WindowValuedOptions)
        window << u'-' + name + u" <value>"_s;
    for (const QString &name : WindowFlagOptions)
        window << u'-' + name;
    return parser.helpText() + u"\nOptions the window takes (Qt):\n  "_s + window.join(u", "_s) +
           u'\n';
}

// A bus option given with an empty value would fall back to the default
// device or to no log at all: a script whose variable is unset must not send
// requests to the first serial port, nor go unlogged unawares.
QString EmptyBusOption(const QCommandLineParser &parser)
{
    const std::pair<QString, QString> options[] = {{PortOption, u"устройство"_s},
                                                   {LogOption, u"файл журнала"_s}};
    for (const auto &[name, what] : options)
        if (parser.optionNames().contains(name) && parser.value(name).isEmpty())
            return u"--%1: пустое значение, укажите %2"_s.arg(name, what);
    return QString();
}

} // namespace

void PrintRefusal(const QCommandLineParser &parser, const QString &why)
{
    QTextStream(stderr) << QCoreApplication::applicationName() << ": " << why << "\n\n"
                        << parser.helpText();
}

void AddBusOptions(QCommandLineParser &parser)
{
    parser.addOption(QCommandLineOption(
        PortOption,
        QStringLiteral("Open the bus on DEVICE (/dev/ttyUSB0, COM5); without it "
                       "the tool takes UMD_SERIAL_PORT, else the port last chosen "
                       "in a tool's port menu, else /dev/ttyS0 (COM1)."),
        QStringLiteral("DEVICE")));
    parser.addOption(
        QCommandLineOption(LogOption,
                           QStringLiteral("Append every frame sent and received to FILE as JSON "
                                          "lines."),
                           QStringLiteral("FILE")));
}

QStringList WithoutWindowSystemOptions(const QStringList &arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        QString name = arg.section(u'=', 0, 0);
        if (i == 0 || !name.startsWith(u'-')) {
            kept.append(arg);
            continue;
        }
        name.remove(0, name.startsWith(u"--") ? 2 : 1);
        if (WindowValuedOptions.contains(name)) {
            if (!arg.contains(u'='))
                ++i; // its value
            continue;
        }
        if (!WindowFlagOptions.contains(name))
            kept.append(arg);
    }
    return kept;
}

BusOptions ReadBusOptions(const QCommandLineParser &parser)
{
    return {parser.value(PortOption), parser.value(LogOption)};
}

std::optional<int> ParseCommandLine(QCommandLineParser &parser, const QStringList &arguments)
{
    if (QCoreApplication::applicationVersion().isEmpty())
        QCoreApplication::setApplicationVersion(QStringLiteral(UMD_VERSION));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    if (!parser.parse(arguments)) {
        PrintRefusal(parser, parser.errorText());
        return 2;
    }
    QTextStream out(stdout);
    if (parser.isSet(help)) {
        out << parser.helpText();
        return 0;
    }
    // Listed by --help beside it; without this the tool would start instead.
    if (parser.optionNames().contains(u"help-all"_s)) {
        out << FullHelpText(parser);
        return 0;
    }
    if (parser.isSet(version)) {
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
            << '\n';
        return 0;
    }
    if (const QString why = EmptyBusOption(parser); !why.isEmpty()) {
        PrintRefusal(parser, why);
        return 2;
    }
    return std::nullopt;
}

std::optional<int> ReadToolCommandLine(int &argc, char **argv, const QString &name,
                                       const QString &description, BusOptions *options)
{
    // A plain application object while the command line is read: a window's
    // would need a display, and --help must work without one.
    const QCoreApplication reader(argc, argv);
    QCoreApplication::setApplicationName(name);
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    AddBusOptions(parser);
    if (const std::optional<int> end =
            ParseCommandLine(parser, WithoutWindowSystemOptions(QCoreApplication::arguments())))
        return end;
    if (!parser.positionalArguments().isEmpty()) {
        PrintRefusal(parser,
                     u"unknown argument \"%1\""_s.arg(parser.positionalArguments().constFirst()));
        return 2;
    }
    *options = ReadBusOptions(parser);
    return std::nullopt;
}
