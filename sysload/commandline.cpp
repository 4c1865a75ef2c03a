#include "commandline.h"

#include "hextext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

#include <algorithm>
#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const QStringList RunNames{QStringLiteral("backup"), QStringLiteral("restore"),
                           QStringLiteral("verify")};

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
// Ctrl+C: the signal handler only writes one byte into a pipe; the event loop
// reads it and asks the run to stop after the exchange in progress.

#ifdef Q_OS_UNIX
int g_interruptPipe[2] = {-1, -1};

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
        ::sigaction(SIGINT, &action, &m_previous);
    }
    ~InterruptWatch()
    {
        if (!m_notifier)
            return;
        ::sigaction(SIGINT, &m_previous, nullptr);
        m_notifier.reset();
        ::close(g_interruptPipe[0]);
        ::close(g_interruptPipe[1]);
        g_interruptPipe[0] = g_interruptPipe[1] = -1;
    }
    InterruptWatch(const InterruptWatch &) = delete;
    InterruptWatch &operator=(const InterruptWatch &) = delete;

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previous
    {
    };
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

bool IsCommandLineRun(const QStringList &arguments)
{
    for (const QString &a : arguments.mid(1)) {
        const QString name = a.section(u'=', 0, 0);
        if (name == u"--help" || name == u"-h" || name == u"--version" || name == u"-v")
            return true;
        for (const QString &run : RunNames)
            if (name == QStringLiteral("--") + run)
                return true;
    }
    return false;
}

CommandLine ParseCommandLine(const QStringList &arguments)
{
    CommandLine command;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Чтение и запись ЕЕ контроллеров системы умного дома. Без --backup, "
                       "--restore и --verify открывает окно."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption backup(QStringLiteral("backup"),
                                    QStringLiteral("система в файл (по умолчанию sysload.txt)"));
    const QCommandLineOption restore(QStringLiteral("restore"),
                                     QStringLiteral("из файла в систему"));
    const QCommandLineOption verify(QStringLiteral("verify"),
                                    QStringLiteral("сверить систему с файлом"));
    const QCommandLineOption only(QStringLiteral("only"),
                                  QStringLiteral("только эти контроллеры, например 00,01,9C"),
                                  QStringLiteral("адреса"));
    const QCommandLineOption quick(QStringLiteral("quick"),
                                   QStringLiteral("быстрый обмен: ждать только до ответа"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("последовательный порт"),
                                  QStringLiteral("устройство"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("журнал обмена (строки JSON)"),
                                 QStringLiteral("файл"));
    parser.addOptions({backup, restore, verify, only, quick, port, log});
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("файл образа системы (по умолчанию sysload.txt "
                                                "рядом с программой)"),
                                 QStringLiteral("[FILE]"));
    command.helpText = parser.helpText();
    if (!parser.parse(arguments)) {
        command.error = parser.errorText();
        return command;
    }
    command.help = parser.isSet(help);
    command.version = parser.isSet(version);

    int runs = 0;
    for (const auto &[option, run] : {std::pair{&backup, CommandLine::Run::Backup},
                                      std::pair{&restore, CommandLine::Run::Restore},
                                      std::pair{&verify, CommandLine::Run::Verify}})
        if (parser.isSet(*option)) {
            command.run = run;
            ++runs;
        }
    if (runs > 1) {
        command.error = QStringLiteral("только одно из --backup, --restore, --verify");
        return command;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > (command.run == CommandLine::Run::Window ? 0 : 1)) {
        command.error = QStringLiteral("лишний аргумент: %1").arg(files.last());
        return command;
    }
    if (!files.isEmpty())
        command.file = QFileInfo(files.first()).absoluteFilePath();
    if (parser.isSet(only)) {
        command.only = ParseOnly(parser.value(only), command.error);
        if (!command.error.isEmpty())
            return command;
    }
    command.quick = parser.isSet(quick);
    command.port = parser.value(port);
    command.log = parser.value(log);
    return command;
}

int RunCommandLine(const CommandLine &command, SysloadOptions base, QTextStream &out,
                   QTextStream &err, bool errIsTerminal)
{
    if (!command.error.isEmpty()) {
        err << "sysload: " << command.error << '\n' << command.helpText;
        err.flush();
        return ExitStatus::NotStarted;
    }
    if (command.help || command.version) {
        out << (command.help ? command.helpText
                             : QCoreApplication::applicationName() + u' ' +
                                   QCoreApplication::applicationVersion() + u'\n');
        out.flush();
        return ExitStatus::Ok;
    }
    if (!command.port.isEmpty())
        base.device = command.port;
    if (!command.file.isEmpty())
        base.imagePath = command.file;
    if (!command.log.isEmpty())
        base.logPath = command.log;

    LoaderSession session(base);
    SystemLoader &loader = session.loader();
    const auto notStarted = [&err](const QString &why) {
        err << "sysload: " << why << '\n';
        err.flush();
        return ExitStatus::NotStarted;
    };
    if (!session.logError().isEmpty())
        return notStarted(session.logError());

    // The file: a backup without one starts from a blank image; any other
    // file that cannot be loaded stops the run before the bus is touched.
    const bool backup = command.run == CommandLine::Run::Backup;
    const bool fileThere = QFileInfo::exists(session.imagePath());
    bool fileLoaded = false;
    if (fileThere || !backup) {
        const QString reason = LoadImageFile(session.image(), session.imagePath());
        if (!reason.isEmpty())
            return notStarted(reason);
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
    loader.setCountDisplay(0); // nobody watches a status line here
    ProgressReport report(err, errIsTerminal);
    QObject::connect(&loader, &SystemLoader::statusChanged, &loader,
                     [&report](const QString &text) { report.status(text); });
    QObject::connect(&loader, &SystemLoader::progressChanged, &loader,
                     [&report](const RunProgress &p) { report.progress(p); });
    const InterruptWatch interrupt(loader);

    const auto isTicked = [&ticked](int slot) {
        return ticked[std::size_t(slot)];
    };
    SystemLoader::RunEnd end = SystemLoader::RunEnd::Busy;
    switch (command.run) {
    case CommandLine::Run::Backup:
        end = loader.ReadRun(isTicked);
        break;
    case CommandLine::Run::Restore:
        end = loader.WriteRun(isTicked);
        break;
    case CommandLine::Run::Verify:
        end = loader.VerifyRun(isTicked);
        break;
    case CommandLine::Run::Window:
        break;
    }
    report.finish();

    const RunProgress &p = loader.progress();
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
    case CommandLine::Run::Backup:
        if (!loader.saveError().isEmpty())
            return notStarted(loader.saveError());
        out << QStringLiteral("Система в файл %1: прочитано %2 регистров, ошибок %3\n")
                   .arg(session.imagePath())
                   .arg(p.done)
                   .arg(p.errors);
        break;
    case CommandLine::Run::Restore:
        out << QStringLiteral("Из файла %1 в систему: записано %2 регистров, ошибок %3\n")
                   .arg(session.imagePath())
                   .arg(p.done)
                   .arg(p.errors);
        break;
    case CommandLine::Run::Verify:
        out << VerifyText::Report(loader.verifyResult());
        out.flush();
        return loader.verifyResult().allEqual() ? ExitStatus::Ok : ExitStatus::Failed;
    case CommandLine::Run::Window:
        break;
    }
    out.flush();
    return p.errors == 0 ? ExitStatus::Ok : ExitStatus::Failed;
}
