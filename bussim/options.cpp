#include "options.h"

#include <QFileInfo>

#include <algorithm>

namespace bussim {

namespace {
bool Fail(QString *error, const QString &why)
{
    *error = QStringLiteral("bussim: %1 (see bussim --help)").arg(why);
    return false;
}

// An address of the table in hex ("9C", "0x9c", "5").
Controller *ControllerAt(Network &network, QString text)
{
    text = text.trimmed();
    if (text.startsWith(u"0x", Qt::CaseInsensitive))
        text = text.mid(2);
    bool ok = false;
    const int address = text.toInt(&ok, 16);
    return ok ? network.find(address) : nullptr;
}

// The value of an option given as "--name value" or "--name=value".
bool TakeValue(const QStringList &args, qsizetype &i, const QString &name, QString *value)
{
    const QString &arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size())
            return false;
        *value = args[++i];
        return true;
    }
    if (arg.startsWith(name + u'=')) {
        *value = arg.mid(name.size() + 1);
        return true;
    }
    return false;
}
} // namespace

bool ParseOptions(const QStringList &arguments, Options *options, QString *error)
{
    QStringList absent;
    QStringList faults;
    std::optional<RandomFaultSettings> randomFaults;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        QString value;
        if (arg == u"--help" || arg == u"-h") {
            options->helpShown = true;
        } else if (arg == u"--wire-time") {
            options->wireTime = true;
        } else if (TakeValue(arguments, i, QStringLiteral("--network"), &value)) {
            options->networkPath = value;
        } else if (TakeValue(arguments, i, QStringLiteral("--link"), &value)) {
            options->linkPaths.append(value);
        } else if (TakeValue(arguments, i, QStringLiteral("--ports"), &value)) {
            bool ok = false;
            options->ports = value.toInt(&ok);
            if (!ok || options->ports < 1 || options->ports > 16)
                return Fail(error, QStringLiteral("--ports takes a number from 1 to 16"));
        } else if (TakeValue(arguments, i, QStringLiteral("--log"), &value)) {
            options->logPath = value;
        } else if (TakeValue(arguments, i, QStringLiteral("--absent"), &value)) {
            absent += value.split(u',', Qt::SkipEmptyParts);
        } else if (TakeValue(arguments, i, QStringLiteral("--fault"), &value)) {
            faults.append(value);
        } else if (TakeValue(arguments, i, QStringLiteral("--random-faults"), &value)) {
            QString why;
            const auto settings = ParseRandomFaults(value, &why);
            if (!settings)
                return Fail(error, QStringLiteral("--random-faults: %1").arg(why));
            randomFaults = settings;
        } else {
            return Fail(error, QStringLiteral("unknown argument \"%1\"").arg(arg));
        }
    }
    if (options->helpShown)
        return true;
    options->ports = std::max(options->ports, static_cast<int>(options->linkPaths.size()));

    // A network file that does not exist yet is created on exit; one that
    // exists must load, or the simulator would overwrite it with a blank network.
    if (!options->networkPath.isEmpty() && QFileInfo::exists(options->networkPath)) {
        QString why;
        if (!options->network.load(options->networkPath, &why))
            return Fail(error, why);
    }
    for (const QString &a : absent) {
        Controller *c = ControllerAt(options->network, a);
        if (!c)
            return Fail(error, QStringLiteral("--absent: no controller at \"%1\"").arg(a));
        c->absent = true;
    }
    for (const QString &f : faults) {
        Controller *c = ControllerAt(options->network, f.section(u':', 0, 0));
        if (!c)
            return Fail(error,
                        QStringLiteral("--fault \"%1\": no controller at that address").arg(f));
        QString why;
        const auto fault = ParseFault(f.section(u':', 1), &why);
        if (!fault)
            return Fail(error, QStringLiteral("--fault: %1").arg(why));
        c->faults.append(*fault);
    }
    if (randomFaults)
        options->network.setRandomFaults(*randomFaults);
    return true;
}

QString HelpText()
{
    return QStringLiteral(R"(Usage: bussim [options]

Plays the controller network of a house on a pseudo-terminal, so that the
tools can be rehearsed, demonstrated and tested without hardware. Prints the
device to use as the first line of its output; start a tool with
UMD_SERIAL_PORT set to it. Runs until SIGINT (Ctrl+C) or SIGTERM.
A tool holds its port for itself, as on the real bus; to let several tools
work the same network at once, ask for one pseudo-terminal each (--ports).

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
                     (JSON) at start and save the network back on exit;
                     a FILE that does not exist is created on exit
  --absent LIST      addresses that stay silent, comma-separated: 05,9D
  --fault ADDR:FAULT spoil the replies of one controller; may be repeated:
        silent            no reply
        bad-checksum[=N]  checksum byte one (N) too high; 255 makes it one too low
        split=N[:gap=MS]  first N bytes, a pause (30 ms), the rest
        foreign           other traffic (F0 05 01 06) before the reply
        other-register    a register read answered with the next register
        other-address     the reply carries the next address
        reply-code=XX     the reply carries reply code XX
        delay=MS          the reply comes MS milliseconds late
      followed by :count=N to spoil only the next N replies.
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

The network file: {"controllers": {"9C": {"registers": ["E0 01 ...", ...],
"memory": ["16 bytes", ... 16 rows], "absent": false,
"faults": ["split=5:gap=40"]}, ...}}; controllers, registers and memory left
out are 0.
)");
}

} // namespace bussim
