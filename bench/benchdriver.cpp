// The bench's hands inside a real tool: loaded with LD_PRELOAD into an
// unchanged tool binary, it notes when the window first shows, then works the
// window's controls by their object names, as an installer would, and notes
// the process's own CPU time and memory at the marks of the script.
//
// UMD_BENCH_STEPS holds the script, steps separated by ';':
//   click NAME          press the button NAME (returns when its handler does)
//   press NAME          press the button NAME and go on while its handler runs
//                       (a run that waits inside it can then be looked at)
//   choose NAME TEXT    pick the entry TEXT in the list NAME
//   type NAME TEXT      type TEXT into the list NAME key by key, then Enter
//   tick NAME           tick the check box NAME (left ticked if it is)
//   menu NAME           open the menu NAME of the menu bar
//   trigger TEXT        choose the entry TEXT of the open menu (and close it)
//   escape              close the open menu, else the open dialog
//   text NAME           note the text of the label NAME
//   shot NAME FILE      save a PNG of the window NAME (Form1 is the tool's
//                       window, dialog the open dialog) as it draws itself,
//                       with the menu open over it if one is; FILE may not
//                       hold blanks
//   sleep MS            let the window run for MS milliseconds
//   until NAME STATE    let the window run until the control NAME is
//                       enabled or disabled (STATE), or until the label NAME's
//                       text begins with STATE, as a run's end shows
//   mark LABEL          note the time, the CPU time used so far, and the label
//   quit                note the peak memory and close the window
// A message box is answered OK at once (UMD_BENCH_BOXES=PREFIX saves each
// as PREFIX-N.png first).
// UMD_BENCH_OUT names the file that gets one line per note:
//   shown T_US | mark LABEL T_US CPU_US | box TEXT | text NAME TEXT | peak KB | error TEXT
// T_US is the monotonic clock in microseconds, the clock of bussim's log.
#include "monotonicclock.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

namespace {

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
                QTimer::singleShot(0, box, [this, box] {
                    // UMD_BENCH_BOXES=PREFIX keeps a picture of each box, PREFIX-N.png.
                    if (const QString prefix = qEnvironmentVariable("UMD_BENCH_BOXES");
                        !prefix.isEmpty())
                        box->grab().save(QStringLiteral("%1-%2.png").arg(prefix).arg(++m_boxes),
                                         "PNG");
                    box->accept();
                });
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

    // The control NAME of the form, else of another window of the tool (the
    // exchange log, a result window).
    template <typename T> T *control(const QString &name)
    {
        T *found = m_window ? m_window->findChild<T *>(name) : nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (!found && top->isVisible())
                found = top->findChild<T *>(name);
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
        } else if (verb == u"press") {
            if (auto *button = control<QAbstractButton>(name))
                QTimer::singleShot(0, button, &QAbstractButton::click);
        } else if (verb == u"type") {
            if (auto *list = control<QComboBox>(name))
                typeInto(list, rest);
        } else if (verb == u"tick") {
            if (auto *box = control<QAbstractButton>(name))
                box->setChecked(true);
        } else if (verb == u"menu") {
            auto *bar = m_window ? m_window->window()->findChild<QMenuBar *>() : nullptr;
            auto *menu = bar ? bar->findChild<QMenu *>(name) : nullptr;
            if (!menu)
                return fail(QStringLiteral("no menu %1").arg(name));
            bar->setActiveAction(menu->menuAction());
        } else if (verb == u"trigger") {
            const QString text = step.section(u' ', 1);
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu) { // the menu opens on the window system's next turn
                m_steps.prepend(step);
                QTimer::singleShot(50, Qt::PreciseTimer, this, &BenchDriver::next);
                return;
            }
            QAction *entry = nullptr;
            for (QAction *action : menu ? menu->actions() : QList<QAction *>{})
                if (action->text() == text)
                    entry = action;
            if (!entry)
                return fail(QStringLiteral("no open menu with the entry %1").arg(text));
            menu->close();
            // Later, as a click would: an entry that opens a dialog then
            // leaves the script running while the dialog waits.
            QTimer::singleShot(0, entry, &QAction::trigger);
        } else if (verb == u"escape") {
            if (QWidget *popup = QApplication::activePopupWidget())
                popup->close();
            else if (QWidget *dialog = QApplication::activeModalWidget())
                dialog->close();
        } else if (verb == u"text") {
            if (auto *label = control<QLabel>(name))
                note("text " + name.toUtf8() + ' ' +
                     label->text().replace(u'\n', QStringLiteral(" | ")).toUtf8());
        } else if (verb == u"shot") {
            if (!shoot(name, rest))
                return;
        } else if (verb == u"sleep") {
            delayMs = name.toInt();
        } else if (verb == u"until") {
            auto *widget = control<QWidget>(name);
            if (!widget)
                return;
            const auto *label = qobject_cast<QLabel *>(widget);
            const bool reached = rest == u"enabled"    ? widget->isEnabled()
                                 : rest == u"disabled" ? !widget->isEnabled()
                                                       : label && label->text().startsWith(rest);
            if (!reached) {
                m_steps.prepend(step);
                delayMs = 100;
            }
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

    // Types as the keyboard does, one key press and release a character, into
    // the list's own line, then Enter, so the list takes the text as it takes
    // an installer's.
    static void typeInto(QComboBox *list, const QString &text)
    {
        QLineEdit *line = list->lineEdit();
        QWidget *target = line ? static_cast<QWidget *>(line) : list;
        if (line)
            line->selectAll();
        const auto key = [target](int code, const QString &typed) {
            QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, typed);
            QCoreApplication::sendEvent(target, &press);
            QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, typed);
            QCoreApplication::sendEvent(target, &release);
        };
        for (const QChar c : text)
            key(c.toUpper().unicode(), QString(c));
        key(Qt::Key_Return, QStringLiteral("\r"));
    }

    // The window whose object name is NAME, or the window of the control of
    // that name: the tool's window for its form, Form1.
    static QWidget *windowNamed(const QString &name)
    {
        if (name == u"dialog")
            return QApplication::activeModalWidget();
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (!top->isVisible())
                continue;
            if (top->objectName() == name)
                return top;
            if (QWidget *inside = top->findChild<QWidget *>(name); inside && inside->isVisible())
                return inside->window();
        }
        return nullptr;
    }

    // The window as it draws itself, with the menu open over it where it
    // stands: what the installer sees, whatever other window lies over it.
    bool shoot(const QString &name, const QString &file)
    {
        QWidget *window = windowNamed(name);
        if (!window) {
            fail(QStringLiteral("no window %1 to shoot").arg(name));
            return false;
        }
        QRect area = window->geometry();
        QWidget *popup = QApplication::activePopupWidget();
        if (popup)
            area = area.united(popup->geometry());
        QPixmap picture(area.size());
        picture.fill(window->palette().color(QPalette::Window));
        QPainter painter(&picture);
        painter.drawPixmap(window->geometry().topLeft() - area.topLeft(), window->grab());
        if (popup)
            painter.drawPixmap(popup->geometry().topLeft() - area.topLeft(), popup->grab());
        painter.end();
        if (!picture.save(file, "PNG")) {
            fail(QStringLiteral("cannot save %1").arg(file));
            return false;
        }
        return true;
    }

    QFile m_out;
    QStringList m_steps;
    int m_boxes = 0;
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
