#include "loadercommand.h"

#include "exchangelog.h"
#include "hextext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

std::optional<int> SlotOf(int address)
{
    for (int slot = 0; slot < SlotCount; ++slot)
        if (ControllerSlots()[std::size_t(slot)].address == address)
            return slot;
    return std::nullopt;
}

// "00,01,9C": two hex digits each (one will do), in either case, every one a
// controller the loader knows.
std::optional<QList<int>> ParseOnly(const QString &text, QString &error)
{
    QList<int> addresses;
    for (const QString &item : text.split(u',')) {
        bool ok = false;
        const QString digits = item.trimmed();
        const int address = digits.toInt(&ok, 16);
        if (!ok || digits.size() > 2 || !SlotOf(address)) {
            error = QStringLiteral("--only: \"%1\" не адрес контроллера системы").arg(item);
            return std::nullopt;
        }
        if (!addresses.contains(address))
            addresses << address;
    }
    return addresses;
}

// ---------------------------------------------------------------------------
// Ctrl+C, and the end of the session or a kill from a script or a service
// manager: the signal handler only writes one byte into a pipe; the event
// loop reads it and asks the run to stop after the exchange in progress, so
// that the run says where it stopped.

#ifdef Q_OS_UNIX
int g_interruptPipe[2] = {-1, -1};
constexpr std::array StopSignals{SIGINT, SIGTERM, SIGHUP};

void OnInterrupt(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_interruptPipe[1], &byte, 1);
}

class InterruptWatch
{
public:
    explicit InterruptWatch(SystemLoader &loader)
    {
        if (::pipe(g_interruptPipe) != 0)
            return;
        ::fcntl(g_interruptPipe[1], F_SETFL, O_NONBLOCK);
        m_notifier = std::make_unique<QSocketNotifier>(g_interruptPipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, &loader, [&loader] {
            char byte = 0;
            [[maybe_unused]] const auto read = ::read(g_interruptPipe[0], &byte, 1);
            loader.requestStop();
        });
        struct sigaction action
        {
        };
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < StopSignals.size(); ++i)
            ::sigaction(StopSignals[i], &action, &m_previous[i]);
    }
    ~InterruptWatch()
    {
        if (!m_notifier)
            return;
        for (std::size_t i = 0; i < StopSignals.size(); ++i)
            ::sigaction(StopSignals[i], &m_previous[i], nullptr);
        m_notifier.reset();
        ::close(g_interruptPipe[0]);
        ::close(g_interruptPipe[1]);
        g_interruptPipe[0] = g_interruptPipe[1] = -1;
    }
    InterruptWatch(const InterruptWatch &) = delete;
    InterruptWatch &operator=(const InterruptWatch &) = delete;

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::array<struct sigaction, StopSignals.size()> m_previous{};
};
#else
class InterruptWatch
{
public:
    explicit InterruptWatch(SystemLoader &) {}
};
#endif

// ---------------------------------------------------------------------------
// What the installer sees on standard error while the run goes on.

class ProgressReport
{
public:
    ProgressReport(QTextStream &err, bool terminal) : m_err(err), m_terminal(terminal) {}

    // Per-register OK lines are what the progress shows; everything else the
    // run says (errors, the count, a stop, a failure) stands as a line.
    void status(const QString &text)
    {
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty() || trimmed == SysloadText::StatusInitial() || trimmed.endsWith(u"OK"))
            return;
        clearLine();
        m_err << text << '\n';
        redraw();
    }

    void progress(const RunProgress &p)
    {
        if (m_terminal) {
            m_last = p;
            redraw();
            if (!p.running)
                finish();
            return;
        }
        // One line for each controller done, and one for a controller left
        // part-way when the run ends.
        if (p.running && p.controllerDone)
            m_err << controllerLine(p) << '\n';
        else if (!p.running && m_last.address >= 0 && !m_last.controllerDone)
            m_err << controllerLine(m_last) << '\n';
        m_last = p;
        m_err.flush();
    }

    void finish()
    {
        if (m_terminal && m_drawn) {
            m_err << '\n';
            m_drawn = false;
        }
        m_err.flush();
    }

private:
    static QString controllerLine(const RunProgress &p)
    {
        return QStringLiteral("$%1: %2").arg(
            FormatHex(p.address), SysloadText::Progress(p.done, p.total, p.errors, p.left));
    }
    void clearLine()
    {
        if (m_terminal && m_drawn)
            m_err << "\r\x1b[K";
        m_drawn = false;
    }
    void redraw()
    {
        if (!m_terminal || !m_last.running)
            return m_err.flush();
        m_err << "\r\x1b[K" << m_last.percent() << " %  "
              << SysloadText::Progress(m_last.done, m_last.total, m_last.errors, m_last.left);
        m_drawn = true;
        m_err.flush();
    }

    QTextStream &m_err;
    bool m_terminal;
    bool m_drawn = false;
    RunProgress m_last;
};

} // namespace

LoaderCommand ParseLoaderCommand(const QStringList &arguments)
{
    LoaderCommand command;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Backs up and restores the registers of every controller. With --backup, "
                       "--restore or --verify it runs without a window."));
    const QCommandLineOption backup(
        QStringLiteral("backup"),
        QStringLiteral("Read the controllers into FILE (sysload.txt beside the program)."));
    const QCommandLineOption restore(QStringLiteral("restore"),
                                     QStringLiteral("Write FILE into the controllers."));
    const QCommandLineOption verify(
        QStringLiteral("verify"),
        QStringLiteral("Compare the controllers with FILE and print the registers that differ."));
    const QCommandLineOption only(
        QStringLiteral("only"),
        QStringLiteral("Only these controllers, by address: 00,01,9C. Without it, those FILE "
                       "marks present; for a backup without FILE, all twenty."),
        QStringLiteral("ADDRESSES"));
    const QCommandLineOption quick(
        QStringLiteral("quick"),
        QStringLiteral("End each wait as soon as a good reply is in (also in the window)."));
    const QCommandLineOption includeUnread(
        QStringLiteral("include-unread"),
        QStringLiteral("Restore also the registers the backup could not read: FILE holds older "
                       "values for them, 0 without an earlier file (also in the window)."));
    parser.addOptions({backup, restore, verify, only, quick, includeUnread});
    AddBusOptions(parser);
    parser.addPositionalArgument(
        QStringLiteral("FILE"),
        QStringLiteral("The image file of --backup, --restore or --verify (sysload.txt beside "
                       "the program)."),
        QStringLiteral("[FILE]"));
    if ((command.end = ParseCommandLine(parser, arguments)))
        return command;
    const auto refuse = [&command, &parser](const QString &why) {
        PrintRefusal(parser, why);
        command.end = ExitStatus::NotStarted;
        return command;
    };

    int runs = 0;
    for (const auto &[option, run] : {std::pair{&backup, LoaderCommand::Run::Backup},
                                      std::pair{&restore, LoaderCommand::Run::Restore},
                                      std::pair{&verify, LoaderCommand::Run::Verify}})
        if (parser.isSet(*option)) {
            command.run = run;
            ++runs;
        }
    if (runs > 1)
        return refuse(QStringLiteral("только одно из --backup, --restore, --verify"));
    const QStringList files = parser.positionalArguments();
    if (files.size() > (command.run == LoaderCommand::Run::Window ? 0 : 1))
        return refuse(QStringLiteral("лишний аргумент: %1").arg(files.last()));
    // An empty name would mean the file beside the program.
    if (!files.isEmpty() && files.first().isEmpty())
        return refuse(QStringLiteral("FILE: пустое имя файла"));
    if (!files.isEmpty())
        command.file = QFileInfo(files.first()).absoluteFilePath();
    if (parser.isSet(only)) {
        QString error;
        command.only = ParseOnly(parser.value(only), error);
        if (!command.only)
            return refuse(error);
    }
    command.quick = parser.isSet(quick);
    command.includeUnread = parser.isSet(includeUnread);
    command.bus = ReadBusOptions(parser);
    return command;
}

int RunLoaderCommand(const LoaderCommand &command, SysloadOptions base, QTextStream &out,
                     QTextStream &err, bool errIsTerminal)
{
    if (command.end)
        return *command.end;
    if (!command.bus.port.isEmpty())
        base.device = command.bus.port;
    if (!command.file.isEmpty())
        base.imagePath = command.file;

    LoaderSession session(base);
    SystemLoader &loader = session.loader();
    const auto notStarted = [&err](const QString &why) {
        err << "sysload: " << why << '\n';
        err.flush();
        return ExitStatus::NotStarted;
    };

    // The file: a backup without one starts from a blank image; any other
    // file that cannot be loaded stops the run before the bus is touched.
    const bool backup = command.run == LoaderCommand::Run::Backup;
    const bool fileThere = QFileInfo::exists(session.imagePath());
    bool fileLoaded = false;
    if (fileThere || !backup) {
        QString notice;
        const QString reason = session.file().load(&notice);
        if (!reason.isEmpty())
            return notStarted(reason);
        if (!notice.isEmpty())
            err << "sysload: " << notice << '\n';
        fileLoaded = true;
    }

    // The controllers: those named, else those the file marks present (as
    // the window ticks them), else, for a first backup, all twenty.
    std::array<bool, SlotCount> ticked{};
    if (command.only) {
        for (int address : *command.only)
            ticked[std::size_t(*SlotOf(address))] = true;
    } else if (fileLoaded) {
        ticked = PresentSlots(session.image());
    } else {
        ticked.fill(true);
    }
    if (std::none_of(ticked.begin(), ticked.end(), [](bool t) { return t; }))
        return notStarted(QStringLiteral("ни один контроллер не выбран: в файле %1 нет отмеченных "
                                         "контроллеров, назовите их в --only")
                              .arg(session.imagePath()));

    if (!session.openPort())
        return notStarted(session.port().errorText());

    session.setQuick(command.quick);
    loader.setIncludeUnread(command.includeUnread);
    loader.setCountDisplay(0); // nobody watches a status line here
    ProgressReport report(err, errIsTerminal);
    loader.setUnreadWarning([&report](const QString &text) {
        report.status(text);
        return true;
    });
    QObject::connect(&loader, &SystemLoader::statusChanged, &loader,
                     [&report](const QString &text) { report.status(text); });
    QObject::connect(&loader, &SystemLoader::progressChanged, &loader,
                     [&report](const RunProgress &p) { report.progress(p); });
    const InterruptWatch interrupt(loader);

    // The exchange log, as every tool keeps it. A file that cannot be opened,
    // or stops taking lines, is said once; the run goes on without it.
    ExchangeLog exchangeLog(&session.port());
    if (!command.bus.logPath.isEmpty()) {
        QString error;
        if (!exchangeLog.startFile(command.bus.logPath, &error))
            report.status(error);
        QObject::connect(&exchangeLog, &ExchangeLog::fileFailed, &loader,
                         [&report](const QString &text) { report.status(text); });
    }

    const auto isTicked = [&ticked](int slot) {
        return ticked[std::size_t(slot)];
    };
    SystemLoader::RunEnd end = SystemLoader::RunEnd::Busy;
    switch (command.run) {
    case LoaderCommand::Run::Backup:
        end = loader.ReadRun(isTicked);
        break;
    case LoaderCommand::Run::Restore:
        end = loader.WriteRun(isTicked);
        break;
    case LoaderCommand::Run::Verify:
        end = loader.VerifyRun(isTicked);
        break;
    case LoaderCommand::Run::Window:
        break;
    }
    report.finish();

    const RunProgress &p = loader.progress();
    const QString done = QString::number(p.done);
    const QString errors = QString::number(p.errors);
    switch (end) {
    case SystemLoader::RunEnd::Done:
        break;
    case SystemLoader::RunEnd::Cancelled:
        return ExitStatus::Interrupted;
    default:
        // The reason (port, file) has been said on standard error.
        return ExitStatus::NotStarted;
    }
    switch (command.run) {
    case LoaderCommand::Run::Backup:
        if (!loader.saveError().isEmpty())
            return notStarted(loader.saveError());
        // One call: a '%' in the file's name is no place of its own.
        out << QStringLiteral("Система в файл %1: прочитано %2 регистров, ошибок %3\n")
                   .arg(session.imagePath(), done, errors);
        if (!loader.failedReads().isEmpty())
            out << QStringLiteral("Не прочитаны (в файле у них прежние значения, 0 без файла; "
                                  "список в %1):\n")
                       .arg(session.file().recordPath())
                << RegisterLines(loader.failedReads()).join(u'\n') << '\n';
        break;
    case LoaderCommand::Run::Restore:
        out << QStringLiteral("Из файла %1 в систему: записано %2 регистров, ошибок %3")
                   .arg(session.imagePath(), done, errors);
        if (!loader.skipped().isEmpty())
            out << QStringLiteral(", не записаны непрочитанные %1").arg(loader.skipped().size());
        out << '\n';
        out.flush();
        return p.errors == 0 && loader.skipped().isEmpty() ? ExitStatus::Ok : ExitStatus::Failed;
    case LoaderCommand::Run::Verify:
        out << VerifyText::Report(loader.verifyResult());
        out.flush();
        return loader.verifyResult().allEqual() ? ExitStatus::Ok : ExitStatus::Failed;
    case LoaderCommand::Run::Window:
        break;
    }
    out.flush();
    return p.errors == 0 ? ExitStatus::Ok : ExitStatus::Failed;
}
