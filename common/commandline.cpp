#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

const QString PortOption = QStringLiteral("port");
const QString LogOption = QStringLiteral("log");

} // namespace

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
    static const QStringList valued{u"platform"_s,
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
    static const QStringList flags{u"reverse"_s, u"widgetcount"_s, u"sync"_s, u"nograb"_s,
                                   u"dograb"_s};
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        QString name = arg.section(u'=', 0, 0);
        if (i == 0 || !name.startsWith(u'-')) {
            kept.append(arg);
            continue;
        }
        name.remove(0, name.startsWith(u"--") ? 2 : 1);
        if (valued.contains(name)) {
            if (!arg.contains(u'='))
                ++i; // its value
            continue;
        }
        if (!flags.contains(name))
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
        QTextStream err(stderr);
        err << QCoreApplication::applicationName() << ": " << parser.errorText() << "\n\n"
            << parser.helpText();
        return 2;
    }
    QTextStream out(stdout);
    if (parser.isSet(help)) {
        out << parser.helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
            << '\n';
        return 0;
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
        QTextStream(stderr) << name << ": unknown argument \""
                            << parser.positionalArguments().constFirst() << "\"\n\n"
                            << parser.helpText();
        return 2;
    }
    *options = ReadBusOptions(parser);
    return std::nullopt;
}
