// The bench's hands inside a real tool: loaded with LD_PRELOAD into an
// unchanged tool binary, it notes when the window first shows, then works the
// window's controls by their object names, as an installer would, and notes
// the process's own CPU time and memory at the marks of the script.
//
// UMD_BENCH_STEPS holds the script, steps separated by ';':
//   click NAME          press the button NAME (returns when its handler does)
//   choose NAME TEXT    pick the entry TEXT in the list NAME
//   tick NAME           tick the check box NAME (left ticked if it is)
//   sleep MS            let the window run for MS milliseconds
//   mark LABEL          note the time, the CPU time used so far, and the label
//   quit                note the peak memory and close the window
// UMD_BENCH_OUT names the file that gets one line per note:
//   shown T_US | mark LABEL T_US CPU_US | box TEXT | peak KB | error TEXT
// T_US is the monotonic clock in microseconds, the clock of bussim's log.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>
#include <time.h>

namespace {

qint64 MonotonicMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

qint64 CpuMicroseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto us = [](const timeval &t) {
        return qint64(t.tv_sec) * 1'000'000 + t.tv_usec;
    };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

// The high-water mark of the resident set, from the kernel's own accounting.
qint64 PeakKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

class BenchDriver : public QObject
{
public:
    explicit BenchDriver(QObject *parent) : QObject(parent)
    {
        m_out.setFileName(qEnvironmentVariable("UMD_BENCH_OUT"));
        if (!m_out.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            qFatal("bench driver: cannot write UMD_BENCH_OUT");
        m_steps = qEnvironmentVariable("UMD_BENCH_STEPS").split(u';', Qt::SkipEmptyParts);
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // A message box would hold the script up; the installer's OK is given
        // at once and its text noted, so the table can say what was asked.
        if (event->type() == QEvent::Show) {
            if (auto *box = qobject_cast<QMessageBox *>(watched)) {
                note("box " + box->text().toUtf8());
                QTimer::singleShot(0, box, [box] { box->accept(); });
            }
        }
        // The window counts as shown once its form's first paint has been done
        // (the form sits under the tool window's menu bar).
        if (!m_window && event->type() == QEvent::Paint && watched->objectName() == u"Form1" &&
            qobject_cast<QWidget *>(watched)) {
            m_window = static_cast<QWidget *>(watched);
            QTimer::singleShot(0, this, [this] {
                note("shown " + QByteArray::number(MonotonicMicroseconds()));
                next();
            });
        }
        return false;
    }

private:
    void note(const QByteArray &line) { m_out.write(line + '\n'); }

    void fail(const QString &why)
    {
        note("error " + why.toUtf8());
        QCoreApplication::exit(3);
    }

    template <typename T> T *control(const QString &name)
    {
        T *found = m_window ? m_window->findChild<T *>(name) : nullptr;
        if (!found)
            fail(QStringLiteral("no control %1").arg(name));
        return found;
    }

    // Runs the steps one by one from the event loop, so that a step that waits
    // inside its handler holds the script up exactly as it would hold a user.
    void next()
    {
        if (m_steps.isEmpty())
            return;
        const QString step = m_steps.takeFirst().trimmed();
        const QString verb = step.section(u' ', 0, 0);
        const QString name = step.section(u' ', 1, 1);
        const QString rest = step.section(u' ', 2);
        int delayMs = 0;
        if (verb == u"click") {
            if (auto *button = control<QAbstractButton>(name))
                button->click();
        } else if (verb == u"choose") {
            if (auto *list = control<QComboBox>(name)) {
                const int index = list->findText(rest);
                if (index < 0)
                    return fail(QStringLiteral("%1 has no entry %2").arg(name, rest));
                list->setCurrentIndex(index);
                emit list->activated(index);
            }
        } else if (verb == u"tick") {
            if (auto *box = control<QAbstractButton>(name))
                box->setChecked(true);
        } else if (verb == u"sleep") {
            delayMs = name.toInt();
        } else if (verb == u"mark") {
            note("mark " + name.toUtf8() + ' ' + QByteArray::number(MonotonicMicroseconds()) + ' ' +
                 QByteArray::number(CpuMicroseconds()));
        } else if (verb == u"quit") {
            note("peak " + QByteArray::number(PeakKilobytes()));
            if (m_window)
                m_window->close();
            QCoreApplication::quit();
            return;
        } else {
            return fail(QStringLiteral("unknown step %1").arg(step));
        }
        if (m_window)
            QTimer::singleShot(delayMs, Qt::PreciseTimer, this, &BenchDriver::next);
    }

    QFile m_out;
    QStringList m_steps;
    QPointer<QWidget> m_window;
};

void StartDriver()
{
    new BenchDriver(QCoreApplication::instance());
}

// Runs when the library is loaded, before the tool's main(): the driver starts
// with the application object.
__attribute__((constructor)) void Load()
{
    qAddPreRoutine(StartDriver);
}

} // namespace
