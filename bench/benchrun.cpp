// Runs the real tool binaries against bussim with the real clock and measures
// how exactly they keep the bus timings, what they cost while they wait, how
// fast their windows come up and how much memory they take.
//
// Each session starts bussim with a frame log and one tool with the bench
// driver preloaded (benchdriver.cpp), which works the window by control names
// and notes marks around every run. The request times come from bussim's log,
// the CPU time and memory from the tool's own accounting, both on the
// monotonic clock.
//
//   benchrun BUILD_DIR DRIVER_LIBRARY DEMO_NETWORK RESULTS_FILE [TOOL...]
// With tools named, only their sessions run and the results file is left
// as it is.
#include "benchstats.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <time.h>

#include <algorithm>
#include <cstdio>

namespace {

qint64 MonotonicMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

// The read runs restart their tick on the reply's receive event, and the port
// raises that event once the bus has been quiet for its burst gap after the
// reply's last byte (common/busport.h).
constexpr double BurstGapMs = 20;
// bussim puts replies out at 19200 baud (--wire-time), 10 bits a byte, as the
// bus does: the tool then hears the reply's last byte this long after the
// first, which is when bussim logs the reply.
constexpr double ByteTimeMs = 10.0 * 1000 / 19200;

// The controllers the demo network has, of the twenty sysload knows: boards
// 00 to 04, indicators 80 to 83, keys, synchroniser, announcer, telephone.
const QString PresentControllers = QStringLiteral("00,01,02,03,04,80,81,82,83,90,98,9C,9D");
constexpr int PresentRegisters = 5 * 60 + 4 * 9 + 60 + 54 + 24 + 54;

// A timed series: the requests to one controller with the given command
// bytes, inside the runs the driver marked "<mark>-run" .. "<mark>-end".
struct Series
{
    QString name;
    QString mark;
    QString address;      // empty: any controller
    QStringList commands; // empty: any command
    double nominalMs = 0;
    bool fromReply = false; // the interval counts from the reply before the request
};

struct Session
{
    QString tool;
    QStringList bussimArgs;
    QStringList steps;
    QList<Series> series;
};

struct Mark
{
    QString label;
    qint64 tUs = 0;
    qint64 cpuUs = 0;
};

struct Notes
{
    qint64 shownMs = -1;
    qint64 peakKb = -1;
    QList<Mark> marks;
    QStringList remarks; // message boxes answered, errors
};

struct Frame
{
    qint64 tUs = 0; // an answer's first byte goes out then
    bool in = false;
    QString address;
    QString command;
    int length = 0; // bytes
};

struct SeriesResult
{
    Series series;
    SeriesStats stats;
    double maxCpuPct = 0;
};

// One backup of the demo network from sysload's command line.
struct BackupResult
{
    bool quick = false;
    double seconds = 0; // first request to the last reply's last byte, from bussim's log
    int requests = 0;
    QByteArray file; // the image file written
};

struct ToolResult
{
    QList<qint64> shownMs;
    qint64 peakKb = 0;
    QStringList remarks;
};

QTextStream &Out()
{
    static QTextStream out(stdout);
    return out;
}

[[noreturn]] void Die(const QString &why)
{
    Out() << "benchrun: " << why << Qt::endl;
    std::exit(2);
}

QList<Frame> ReadLog(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Die(QStringLiteral("no frame log %1").arg(path));
    QList<Frame> frames;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QString dir = o.value(u"dir").toString();
        if (dir != u"in" && dir != u"out")
            continue;
        frames.append({qint64(o.value(u"t_us").toDouble()), dir == u"in",
                       o.value(u"addr").toString(), o.value(u"cmd").toString(),
                       int(o.value(u"bytes").toString().split(u' ').size())});
    }
    return frames;
}

Notes ReadNotes(const QString &path, qint64 startUs)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Die(QStringLiteral("the tool left no notes in %1").arg(path));
    Notes notes;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QStringList f = line.split(u' ');
        if (f[0] == u"shown")
            notes.shownMs = (f.value(1).toLongLong() - startUs) / 1000;
        else if (f[0] == u"mark")
            notes.marks.append({f.value(1), f.value(2).toLongLong(), f.value(3).toLongLong()});
        else if (f[0] == u"peak")
            notes.peakKb = f.value(1).toLongLong();
        else if (f[0] == u"box" || f[0] == u"error")
            notes.remarks.append(line);
    }
    return notes;
}

// Starts bussim and answers the device it serves.
QString StartBussim(QProcess &bussim, const QString &program, const QStringList &args)
{
    bussim.start(program, args);
    if (!bussim.waitForStarted() || !bussim.waitForReadyRead(5000))
        Die(QStringLiteral("bussim did not start: %1")
                .arg(QString::fromLocal8Bit(bussim.readAllStandardError())));
    return QString::fromUtf8(bussim.readLine()).trimmed();
}

class Bench
{
public:
    Bench(QString buildDir, QString driver, QString network)
        : m_build(std::move(buildDir)), m_driver(std::move(driver)), m_network(std::move(network))
    {
        if (!m_work.isValid())
            Die(QStringLiteral("no temporary folder"));
    }

    void run(const Session &session)
    {
        const int n = ++m_sessions;
        Out() << "  " << session.tool << " session " << n << " ..." << Qt::endl;
        const QString folder = toolFolder(session.tool);
        const QString log = m_work.filePath(QStringLiteral("bus-%1.log").arg(n));
        const QString notesPath = m_work.filePath(QStringLiteral("notes-%1.txt").arg(n));
        const QString network = m_work.filePath(QStringLiteral("network-%1.json").arg(n));
        if (!QFile::copy(m_network, network))
            Die(QStringLiteral("cannot copy %1").arg(m_network));

        QProcess bussim;
        const QString device =
            StartBussim(bussim, m_build + QStringLiteral("/bussim/bussim"),
                        QStringList{QStringLiteral("--network"), network, QStringLiteral("--log"),
                                    log, QStringLiteral("--wire-time")} +
                            session.bussimArgs);

        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("UMD_SERIAL_PORT"), device);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LD_PRELOAD"), m_driver);
        env.insert(QStringLiteral("UMD_BENCH_STEPS"), session.steps.join(u';'));
        env.insert(QStringLiteral("UMD_BENCH_OUT"), notesPath);
        tool.setProcessEnvironment(env);
        tool.setWorkingDirectory(folder);
        tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const qint64 startUs = MonotonicMicroseconds();
        tool.start(folder + u'/' + session.tool, {});
        const bool finished = tool.waitForFinished(10 * 60 * 1000);
        if (!finished)
            tool.kill();
        bussim.terminate();
        bussim.waitForFinished();
        if (!finished || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
            Die(QStringLiteral("%1 did not finish its script (exit %2); notes in %3")
                    .arg(session.tool)
                    .arg(tool.exitCode())
                    .arg(notesPath));

        const Notes notes = ReadNotes(notesPath, startUs);
        ToolResult &t = m_tools[session.tool];
        t.shownMs.append(notes.shownMs);
        t.peakKb = std::max(t.peakKb, notes.peakKb);
        t.remarks += notes.remarks;
        const QList<Frame> frames = ReadLog(log);
        for (const Series &s : session.series)
            m_series.append(measure(s, notes, frames));
    }

    // A backup of the demo network's present controllers with sysload's
    // command line, as an installer scripts it, against bussim at the bus's
    // byte rate; the time is the bus's, from the first request to the last
    // reply's last byte.
    void backup(bool quick)
    {
        const int n = ++m_sessions;
        Out() << "  sysload --backup" << (quick ? " --quick" : "") << " (session " << n << ") ..."
              << Qt::endl;
        const QString folder = toolFolder(QStringLiteral("sysload"));
        const QString log = m_work.filePath(QStringLiteral("bus-%1.log").arg(n));
        const QString network = m_work.filePath(QStringLiteral("network-%1.json").arg(n));
        const QString image = m_work.filePath(QStringLiteral("backup-%1.txt").arg(n));
        if (!QFile::copy(m_network, network))
            Die(QStringLiteral("cannot copy %1").arg(m_network));
        QProcess bussim;
        const QString device =
            StartBussim(bussim, m_build + QStringLiteral("/bussim/bussim"),
                        {QStringLiteral("--network"), network, QStringLiteral("--log"), log,
                         QStringLiteral("--wire-time")});
        QProcess tool;
        tool.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        QStringList args{QStringLiteral("--backup"), image,
                         QStringLiteral("--port"),   device,
                         QStringLiteral("--only"),   PresentControllers};
        if (quick)
            args << QStringLiteral("--quick");
        tool.start(folder + QStringLiteral("/sysload"), args);
        const bool finished = tool.waitForFinished(10 * 60 * 1000);
        if (!finished)
            tool.kill();
        bussim.terminate();
        bussim.waitForFinished();
        if (!finished || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
            Die(QStringLiteral("sysload --backup failed (exit %1): %2")
                    .arg(tool.exitCode())
                    .arg(QString::fromLocal8Bit(tool.readAllStandardError())));
        BackupResult result{quick, 0, 0, {}};
        qint64 first = -1;
        qint64 lastByte = -1;
        for (const Frame &f : ReadLog(log)) {
            if (f.in) {
                ++result.requests;
                if (first < 0)
                    first = f.tUs;
            } else {
                lastByte = f.tUs + qint64((f.length - 1) * ByteTimeMs * 1000);
            }
        }
        result.seconds = double(lastByte - first) / 1e6;
        QFile written(image);
        if (!written.open(QIODevice::ReadOnly))
            Die(QStringLiteral("the backup wrote no %1").arg(image));
        result.file = written.readAll();
        m_backups.append(result);
    }

    QString table() const
    {
        QString text;
        QTextStream t(&text);
        t << "| series | nominal period | intervals | median deviation | p99 deviation | mean "
             "(signed) | largest drift of a run | CPU during the run |\n"
          << "|---|---|---|---|---|---|---|---|\n";
        for (const SeriesResult &r : m_series) {
            const SeriesStats &s = r.stats;
            t << "| " << r.series.name << " | "
              << (r.series.fromReply
                      ? QStringLiteral("%1 ms after the reply").arg(r.series.nominalMs)
                      : QStringLiteral("%1 ms").arg(r.series.nominalMs))
              << " | " << s.samples << " | " << Ms(s.medianDevMs, 1) << " | " << Ms(s.p99DevMs, 3)
              << " | " << QString::number(s.meanDevMs, 'f', 2) << " ms | "
              << Verdict(QString::number(s.maxDriftPct, 'f', 3) + QStringLiteral(" %"),
                         s.maxDriftPct <= 0.2)
              << " | "
              << Verdict(QString::number(r.maxCpuPct, 'f', 2) + QStringLiteral(" %"),
                         r.maxCpuPct < 1)
              << " |\n";
        }
        t << "\n| tool | window shown (median of starts) | slowest start | peak memory |\n"
          << "|---|---|---|---|\n";
        for (auto it = m_tools.begin(); it != m_tools.end(); ++it) {
            QList<qint64> shown = it->shownMs;
            std::sort(shown.begin(), shown.end());
            const qint64 median = shown[shown.size() / 2];
            const double mb = double(it->peakKb) / 1024;
            t << "| " << it.key() << " | "
              << Verdict(QStringLiteral("%1 ms (%2 starts)").arg(median).arg(shown.size()),
                         median <= 300)
              << " | " << Verdict(QStringLiteral("%1 ms").arg(shown.last()), shown.last() <= 300)
              << " | " << Verdict(QString::number(mb, 'f', 1) + QStringLiteral(" MB"), mb < 60)
              << " |\n";
        }
        backupTable(t);
        for (auto it = m_tools.begin(); it != m_tools.end(); ++it) {
            QStringList seen;
            for (const QString &r : it->remarks)
                if (!seen.contains(r))
                    seen.append(r);
            for (const QString &r : seen)
                t << "\n" << it.key() << " said: " << r << "\n";
        }
        return text;
    }

    bool allMet() const { return !table().contains(u"MISSED"); }

private:
    // Normal and quick side by side, with the ratio, against the floor of the
    // bytes on the wire: 5 request and 13 reply bytes a register.
    void backupTable(QTextStream &t) const
    {
        const BackupResult *normal = nullptr;
        const BackupResult *quick = nullptr;
        for (const BackupResult &b : m_backups)
            (b.quick ? quick : normal) = &b;
        if (normal == nullptr || quick == nullptr)
            return;
        const double floor = PresentRegisters * 18 * ByteTimeMs / 1000;
        t << "\n| sysload --backup of the demo network, 13 controllers, " << PresentRegisters
          << " registers | requests | normal | quick | normal / quick | quick / wire floor ("
          << QString::number(floor, 'f', 2) << " s) | same file |\n"
          << "|---|---|---|---|---|---|---|\n"
          << "| against bussim --wire-time | " << normal->requests << " / " << quick->requests
          << " | " << QString::number(normal->seconds, 'f', 2) << " s | "
          << QString::number(quick->seconds, 'f', 2) << " s | "
          << QString::number(normal->seconds / quick->seconds, 'f', 1) << " | "
          << Verdict(QString::number(quick->seconds / floor, 'f', 2), quick->seconds <= 2 * floor)
          << " | "
          << Verdict(normal->file == quick->file ? QStringLiteral("yes") : QStringLiteral("no"),
                     normal->file == quick->file)
          << " |\n";
    }

    static QString Verdict(const QString &value, bool met)
    {
        return met ? value : value + QStringLiteral(" **MISSED**");
    }
    static QString Ms(double value, double target)
    {
        return Verdict(QString::number(value, 'f', 2) + QStringLiteral(" ms"), value <= target);
    }

    // Each tool runs from its own folder, as an installer keeps it, so its data
    // file lands beside it and not in the build tree; a tool's sessions share it.
    QString toolFolder(const QString &tool)
    {
        const QString folder = m_work.filePath(tool);
        if (!QDir(folder).exists()) {
            QDir().mkpath(folder);
            if (!QFile::copy(QStringLiteral("%1/%2/%2").arg(m_build, tool), folder + u'/' + tool))
                Die(QStringLiteral("no %1 in %2").arg(tool, m_build));
        }
        return folder;
    }

    static SeriesResult measure(const Series &s, const Notes &notes, const QList<Frame> &frames)
    {
        SeriesResult result{s, {}, 0};
        QList<Interval> intervals;
        int run = 0;
        for (qsizetype m = 0; m + 1 < notes.marks.size(); ++m) {
            const Mark &from = notes.marks[m];
            const Mark &to = notes.marks[m + 1];
            if (from.label != s.mark + QStringLiteral("-run") ||
                to.label != s.mark + QStringLiteral("-end"))
                continue;
            ++run;
            const double seconds = double(to.tUs - from.tUs) / 1e6;
            result.maxCpuPct =
                std::max(result.maxCpuPct, double(to.cpuUs - from.cpuUs) / 1e6 / seconds * 100);
            qint64 lastRequest = -1;
            qint64 lastReply = -1; // its last byte
            for (const Frame &f : frames) {
                if (f.tUs < from.tUs || f.tUs > to.tUs)
                    continue;
                if (!f.in) {
                    lastReply = f.tUs + qint64((f.length - 1) * ByteTimeMs * 1000);
                    continue;
                }
                if ((!s.address.isEmpty() && f.address != s.address) ||
                    (!s.commands.isEmpty() && !s.commands.contains(f.command)))
                    continue;
                const qint64 since = s.fromReply ? lastReply : lastRequest;
                if (lastRequest >= 0 && since >= lastRequest)
                    intervals.append({double(f.tUs - since) / 1000, s.nominalMs, run});
                lastRequest = f.tUs;
            }
        }
        if (run == 0)
            Die(QStringLiteral("no marked run for %1").arg(s.name));
        result.stats = Summarise(intervals);
        return result;
    }

    QString m_build, m_driver, m_network;
    QTemporaryDir m_work;
    int m_sessions = 0;
    QList<SeriesResult> m_series;
    QList<BackupResult> m_backups;
    QMap<QString, ToolResult> m_tools;
};

// "mark X-run; <steps>; mark X-end", n times.
QStringList Runs(const QString &mark, int n, const QStringList &steps)
{
    QStringList all;
    for (int i = 0; i < n; ++i)
        all << QStringLiteral("mark %1-run").arg(mark) << steps
            << QStringLiteral("mark %1-end").arg(mark);
    return all;
}

QList<Session> Sessions()
{
    const QString quit = QStringLiteral("quit");
    QList<Session> sessions;

    // busprobe: each board sends foreign traffic before its first 20 replies,
    // so one send button press makes 21 requests, 100 ms apart. The press
    // returns with the verdict, which ends the run; the display refresh two
    // seconds later comes between the runs.
    Session probe{QStringLiteral("busprobe"), {}, {}, {}};
    for (int board = 0; board < 5; ++board) {
        probe.bussimArgs << QStringLiteral("--fault")
                         << QStringLiteral("0%1:foreign:count=20").arg(board);
        probe.steps << QStringLiteral("choose Combo_adr плата %1").arg(board)
                    << Runs(QStringLiteral("probe"), 1, {QStringLiteral("click Command1")})
                    << QStringLiteral("sleep 2100");
    }
    probe.steps << quit;
    probe.series = {{QStringLiteral("busprobe: repetition after foreign traffic"),
                     QStringLiteral("probe"),
                     {},
                     {},
                     100,
                     false}};
    sessions.append(probe);

    Session vox{QStringLiteral("voxbook"), {}, {}, {}};
    vox.steps << Runs(QStringLiteral("write"), 3,
                      {QStringLiteral("click Command4"), QStringLiteral("sleep 6400")})
              << Runs(QStringLiteral("read"), 3,
                      {QStringLiteral("click Command3"), QStringLiteral("sleep 6900")})
              << Runs(QStringLiteral("test"), 2,
                      {QStringLiteral("click Command5"), QStringLiteral("sleep 15200")})
              << quit;
    const QString announcer = QStringLiteral("9C");
    vox.series = {{QStringLiteral("voxbook: write run, 24 registers"),
                   QStringLiteral("write"),
                   announcer,
                   {QStringLiteral("08")},
                   250,
                   false},
                  {QStringLiteral("voxbook: read run, 24 registers"),
                   QStringLiteral("read"),
                   announcer,
                   {QStringLiteral("07")},
                   BurstGapMs + 250,
                   true},
                  {QStringLiteral("voxbook: scenario test polls"),
                   QStringLiteral("test"),
                   announcer,
                   {},
                   1500,
                   false}};
    sessions.append(vox);

    Session lum{QStringLiteral("lumbook"), {}, {}, {}};
    lum.steps << Runs(QStringLiteral("write"), 10,
                      {QStringLiteral("click Command_s"), QStringLiteral("sleep 1600")})
              << Runs(QStringLiteral("read"), 10,
                      {QStringLiteral("click Command_l"), QStringLiteral("sleep 1950")})
              << quit;
    const QString indicator = QStringLiteral("80");
    lum.series = {{QStringLiteral("lumbook: write run, 5 registers"),
                   QStringLiteral("write"),
                   indicator,
                   {QStringLiteral("08")},
                   250,
                   false},
                  {QStringLiteral("lumbook: read run, 5 registers"),
                   QStringLiteral("read"),
                   indicator,
                   {QStringLiteral("07")},
                   BurstGapMs + 250,
                   true}};
    sessions.append(lum);

    // sysload: the announcer and two indicators, 42 registers. The read run
    // saves the file that the write run's start then loads.
    const QStringList ticks{QStringLiteral("tick adr_9c"), QStringLiteral("tick adr_80"),
                            QStringLiteral("tick adr_81")};
    sessions.append({QStringLiteral("sysload"),
                     {},
                     ticks + Runs(QStringLiteral("read"), 1, {QStringLiteral("click Command1")}) +
                         QStringList{quit},
                     {{QStringLiteral("sysload: read run, 42 registers"),
                       QStringLiteral("read"),
                       {},
                       {QStringLiteral("07")},
                       400,
                       false}}});
    sessions.append({QStringLiteral("sysload"),
                     {},
                     ticks + Runs(QStringLiteral("write"), 1, {QStringLiteral("click Command2")}) +
                         QStringList{quit},
                     {{QStringLiteral("sysload: write run, 42 registers"),
                       QStringLiteral("write"),
                       {},
                       {QStringLiteral("08")},
                       400,
                       false}}});

    // More starts of every tool, for the time to the window.
    for (int i = 0; i < 4; ++i)
        for (const char *tool : {"busprobe", "voxbook", "lumbook", "sysload"})
            sessions.append(
                {QString::fromLatin1(tool), {}, {QStringLiteral("sleep 200"), quit}, {}});
    return sessions;
}

QString Machine()
{
    QString cpu;
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : info.readAll().split('\n'))
            if (line.startsWith("model name")) {
                cpu = QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
                break;
            }
    }
    return QStringLiteral("%1 (%2), %3, %4 cores; Qt %5; release build")
        .arg(QSysInfo::prettyProductName(), QSysInfo::kernelVersion(), cpu)
        .arg(QThread::idealThreadCount())
        .arg(QString::fromLatin1(qVersion()));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5)
        Die(QStringLiteral(
            "usage: benchrun BUILD_DIR DRIVER_LIBRARY DEMO_NETWORK RESULTS_FILE [TOOL...]"));

    const QStringList only = args.mid(5);
    Bench bench(args[1], args[2], args[3]);
    for (const Session &session : Sessions())
        if (only.isEmpty() || only.contains(session.tool))
            bench.run(session);
    if (only.isEmpty() || only.contains(QStringLiteral("sysload"))) {
        bench.backup(false);
        bench.backup(true);
    }

    const QString text =
        QStringLiteral(
            "# Bench results\n\n%1, on %2.\n\nTargets: median deviation within 1 ms, "
            "99th percentile within 3 ms, drift within 0.2 %, CPU under 1 % of one "
            "core during runs, window shown within 300 ms offscreen, peak memory "
            "under 60 MB per tool, sysload's quick backup within twice the time of its bytes on "
            "the wire. A missed target is marked **MISSED**.\n\n")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                 Machine()) +
        bench.table();
    Out() << "\n" << text;
    if (!only.isEmpty())
        return bench.allMet() ? 0 : 1; // a part of the bench does not replace the results
    QFile results(args[4]);
    if (!results.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        results.write(text.toUtf8()) < 0)
        Die(QStringLiteral("cannot write %1").arg(args[4]));
    return bench.allMet() ? 0 : 1;
}
