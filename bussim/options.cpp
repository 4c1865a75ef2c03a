#include "options.h"

#include "networktable.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <algorithm>

namespace bussim {

namespace {
bool Fail(QString *error, const QString &why)
{
    *error = QStringLiteral("bussim: %1 (see bussim --help)").arg(why);
    return false;
}

QString Dashed(const QCommandLineOption &option)
{
    return QStringLiteral("--") + option.names().constLast();
}

// An address of the table in hex ("9C", "0x9c", "5").
std::optional<int> AddressOf(QString text)
{
    text = text.trimmed();
    if (text.startsWith(u"0x", Qt::CaseInsensitive))
        text = text.mid(2);
    bool ok = false;
    const int address = text.toInt(&ok, 16);
    if (ok && std::ranges::any_of(NetworkTable,
                                  [&](const ControllerRow &row) { return row.address == address; }))
        return address;
    return std::nullopt;
}

// Why the parser refused the arguments, naming the one as the user typed it:
// an option it does not know, a value given to an option that takes none, or
// the last option, left without its value.
QString Refusal(const QCommandLineParser &parser, const QStringList &arguments,
                const QList<QCommandLineOption> &flags)
{
    const QStringList typed = arguments.mid(1);
    for (const QString &arg : typed) {
        const QString option = arg.section(u'=', 0, 0);
        QString bare = option;
        while (bare.startsWith(u'-'))
            bare.remove(0, 1);
        if (bare == option)
            continue; // the value of an option
        if (parser.unknownOptionNames().contains(bare))
            return QStringLiteral("unknown argument \"%1\"").arg(arg);
        const auto named = [&](const QCommandLineOption &flag) {
            return flag.names().contains(bare);
        };
        if (arg.contains(u'=') && std::ranges::any_of(flags, named))
            return QStringLiteral("%1 takes no value").arg(option);
    }
    return QStringLiteral("%1 needs a value").arg(typed.value(typed.size() - 1));
}
} // namespace

bool ParseOptions(const QStringList &arguments, Options *options, QString *error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, {});
    const QCommandLineOption version(QStringLiteral("version"), {});
    const QCommandLineOption wireTime(QStringLiteral("wire-time"), {});
    const auto valued = [](const char *name) {
        return QCommandLineOption(QString::fromLatin1(name), {}, QStringLiteral("value"));
    };
    const QCommandLineOption networkOption = valued("network"), linkOption = valued("link"),
                             portsOption = valued("ports"), logOption = valued("log"),
                             absentOption = valued("absent"), faultOption = valued("fault"),
                             randomFaultsOption = valued("random-faults");
    const QList<QCommandLineOption> flags{help, version, wireTime};
    const QList<QCommandLineOption> valuedOptions{networkOption,     linkOption,   portsOption,
                                                  logOption,         absentOption, faultOption,
                                                  randomFaultsOption};
    parser.addOptions(flags + valuedOptions);
    if (!parser.parse(arguments))
        return Fail(error, Refusal(parser, arguments, flags));
    if (!parser.positionalArguments().isEmpty())
        return Fail(error, QStringLiteral("unknown argument \"%1\"")
                               .arg(parser.positionalArguments().constFirst()));
    for (const QCommandLineOption &option : valuedOptions) {
        if (parser.values(option).contains(QString()))
            return Fail(error, QStringLiteral("%1 needs a value").arg(Dashed(option)));
    }
    options->helpShown = parser.isSet(help);
    options->versionShown = parser.isSet(version);
    if (options->helpShown || options->versionShown)
        return true;
    options->wireTime = parser.isSet(wireTime);
    options->networkPath = parser.value(networkOption);
    options->linkPaths = parser.values(linkOption);
    options->logPath = parser.value(logOption);
    QString why;
    if (parser.isSet(portsOption)) {
        const auto ports = BoundedNumber(Dashed(portsOption), parser.value(portsOption), 1,
                                         Options::MaxPorts, &why);
        if (!ports)
            return Fail(error, why);
        options->ports = *ports;
    }
    if (options->linkPaths.size() > Options::MaxPorts)
        return Fail(error, QStringLiteral("%1 given more than %2 times, once for each "
                                          "pseudo-terminal")
                               .arg(Dashed(linkOption))
                               .arg(Options::MaxPorts));
    options->ports = std::max(options->ports, static_cast<int>(options->linkPaths.size()));
    for (const QString &value : parser.values(absentOption)) {
        for (const QString &a : value.split(u',', Qt::SkipEmptyParts)) {
            const auto address = AddressOf(a);
            if (!address)
                return Fail(error, QStringLiteral("--absent: no controller at \"%1\"").arg(a));
            options->absent.append(*address);
        }
    }
    for (const QString &f : parser.values(faultOption)) {
        const auto address = AddressOf(f.section(u':', 0, 0));
        if (!address)
            return Fail(error,
                        QStringLiteral("--fault \"%1\": no controller at that address").arg(f));
        const auto fault = ParseFault(f.section(u':', 1), &why);
        if (!fault)
            return Fail(error, QStringLiteral("--fault: %1").arg(why));
        options->faults.append({*address, *fault});
    }
    for (const QString &value : parser.values(randomFaultsOption)) {
        options->randomFaults = ParseRandomFaults(value, &why);
        if (!options->randomFaults)
            return Fail(error, QStringLiteral("--random-faults: %1").arg(why));
    }

    const QString &path = options->networkPath;
    if (path.isEmpty())
        return true;
    // A network file that does not exist yet is created on exit; one that
    // exists must load, or the simulator would write another network over it.
    if (QFileInfo::exists(path) && !options->network.load(path, &why))
        return Fail(error, why);
    // Told now rather than after a run whose writes would then be lost.
    if (!Network::canSave(path, &why))
        return Fail(error, QStringLiteral("the network cannot be saved: %1").arg(why));
    return true;
}

Network PlayedNetwork(const Options &options)
{
    Network network = options.network;
    for (int address : options.absent)
        network.setAbsent(address, true);
    for (const auto &[address, fault] : options.faults)
        network.addFault(address, fault);
    if (options.randomFaults)
        network.setRandomFaults(*options.randomFaults);
    return network;
}

QString HelpText()
{
    return QStringLiteral(R"(Usage: bussim [options]

Plays the controller network of a house on a pseudo-terminal, so that the
tools can be rehearsed, demonstrated and tested without hardware. Prints the
device to use as the first line of its output; start a tool with
--port set to it. Runs until SIGINT (Ctrl+C), SIGTERM or SIGHUP (its
terminal closed), and saves the network file then.
A tool holds its port for itself, as on the real bus, until it closes it or
is killed; to let several tools work the same network at once, ask for one
pseudo-terminal each (--ports).

The network: boards 00-07 and keys 90 (60 registers each), indicators 80-8F
(9), synchroniser 98 and telephone 9D (54), announcer 9C (24); registers hold
8 bytes, and every controller has 256 memory cells. Requests may arrive in
any pieces; a frame with a wrong checksum is ignored. Answers:
  01 presence      -> 01            04 read cell      -> 04 cell, data
  03 read 8 cells  -> 03 cell, 8 data
  07 read register -> 07 register, 8 data (silence beyond the register count)
  02, 06, 08, 0B writes store what they carry -> 01
  09 auxiliary, 0A action -> 01, logged ("scenario n played" for the
     announcer's action FF n, "task n run" for an indicator's action D0 n)
  frames to 10 (synchronisation) get no answer; their clock is logged.

Options:
  --ports N          serve the one network on N pseudo-terminals (1 to 16),
                     printing each device on its own line
  --link PATH        also make PATH a symbolic link to the device; repeat it
                     to link the second, third ... device (implies --ports)
  --network FILE     load memory, registers, absences and faults from FILE
                     (JSON) at start and save the network back on exit: its
                     memory and registers as the run leaves them, and the
                     file's own absences and faults as it had them; a FILE
                     that does not exist is created on exit. A FILE that
                     will not load, or that could not be written, is
                     refused at start
  --absent LIST      addresses that stay silent, comma-separated: 05,9D
                     (for this run: not saved in the network file)
  --fault ADDR:FAULT spoil the replies of one controller, for this run; may
                     be repeated:
        silent            no reply
        bad-checksum[=N]  checksum byte one (N) too high; 255 makes it one too low
        split=N[:gap=MS]  first N bytes (1 to 255), a pause (30 ms), the rest
        foreign           other traffic (F0 05 01 06) before the reply
        other-register    a register read answered with the next register
        other-address     the reply carries the next address
        reply-code=XX     the reply carries reply code XX
        delay=MS          the reply comes MS milliseconds late
      followed by :count=N to spoil only the next N replies (up to 1000000).
      Pauses (MS, MIN, MAX) are up to 60000 ms; the delays of a controller
      add up to no more than that.
      Example: --fault 9C:split=5:gap=40 --fault 05:foreign:count=1
  --random-faults SEED:PERCENT[:gap=MIN-MAX]
                     spoil any reply, with a chance of PERCENT in a hundred,
                     by one fault drawn at random: silent, split at a random
                     byte with a pause of MIN to MAX ms (10-60 by default),
                     foreign, bad-checksum, or other-register for a register
                     read. The same SEED and the same requests give the same
                     faults; each is logged as an event such as
                     "fault: split=5:gap=30".
      Example: --random-faults 42:5:gap=30-50
  --log FILE         append every frame in and out, and every event, to FILE
                     as JSON lines: {"t_us":..., "dir":"in"|"out"|"event",
                     "addr":"9C", "cmd":"01", "bytes":"F0 9C 01 9D"};
                     t_us is the monotonic clock in microseconds
  --wire-time        put replies out at 19200 baud (0.52 ms per byte)
  -h, --help         show this text
  --version          show the version

The network file: {"controllers": {"9C": {"registers": ["E0 01 ...", ...],
"memory": ["16 bytes", ... 16 rows], "absent": false,
"faults": ["split=5:gap=40"]}, ...}}; controllers, registers and memory left
out are 0; any other key, or a value of another type, is refused.
)");
}

} // namespace bussim
