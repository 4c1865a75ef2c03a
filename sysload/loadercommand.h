#pragma once

#include "commandline.h"
#include "loadersession.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QTextStream;

// sysload run from a script, without a window and without a display:
//   sysload --backup [FILE] | --restore [FILE] | --verify [FILE]
//           [--only 00,01,9C] [--quick] [--include-unread] [--port DEVICE]
//           [--log FILE]
// FILE is sysload.txt beside the program when not given. Without one of the
// three runs the window opens, and --port, --log, --quick and
// --include-unread apply to it.
struct LoaderCommand
{
    enum class Run
    {
        Window,
        Backup,
        Restore,
        Verify,
    };
    Run run = Run::Window;
    QString file;                   // empty: sysload.txt beside the program
    std::optional<QList<int>> only; // controllers by address, in the order given
    bool quick = false;
    bool includeUnread = false; // a restore writes the registers a backup did not read too
    BusOptions bus;             // --port and --log, as every tool takes them
    // Set when the program ends at once with this status: --help and
    // --version have been printed (0), or the arguments refused with the
    // usage (2).
    std::optional<int> end;
};

// Exit statuses of a run from the command line.
namespace ExitStatus {
inline constexpr int Ok = 0;         // no error; for a comparison: all equal
inline constexpr int Failed = 1;     // registers failed, were not written, or differ from the file
inline constexpr int NotStarted = 2; // arguments, port or file; or the port failed in the run
inline constexpr int Interrupted = 130; // stopped by Ctrl+C, SIGTERM or SIGHUP
} // namespace ExitStatus

// The arguments, the program's name first, read as every tool reads its
// own (ParseCommandLine()), with sysload's runs beside --port and --log. Needs
// a QCoreApplication with its name set.
LoaderCommand ParseLoaderCommand(const QStringList &arguments);

// Runs what the command line asks and returns the exit status. The summary
// and a comparison's table go to `out`; progress, the run's status texts and
// every reason for failing go to `err`, the progress rewritten in place on
// one line when `err` is a terminal, one line per controller otherwise.
// `base` gives the timings (tests shorten them) and the defaults of the port
// and the file; --port comes before the port `base` names, and without
// either the port is the one ChoosePort() names.
int RunLoaderCommand(const LoaderCommand &command, SysloadOptions base, QTextStream &out,
                     QTextStream &err, bool errIsTerminal);
