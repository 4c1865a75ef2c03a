#include "loadercommand.h"
#include "mainwindow.h"
#include "toolwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QTextStream>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

int main(int argc, char *argv[])
{
    LoaderCommand command;
    {
        // A plain application object while the command line is read, and for
        // a backup, restore or comparison from a script: neither needs a display.
        const QCoreApplication reader(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("sysload"));
        command = ParseLoaderCommand(WithoutWindowSystemOptions(QCoreApplication::arguments()));
        if (command.end)
            return *command.end;
        if (command.run != LoaderCommand::Run::Window) {
            QTextStream out(stdout);
            QTextStream err(stderr);
#ifdef Q_OS_UNIX
            const bool terminal = ::isatty(STDERR_FILENO) != 0;
#else
            const bool terminal = false;
#endif
            return RunLoaderCommand(command, {}, out, err, terminal);
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(SysloadText::ProgramTitle());
    SysloadOptions options;
    options.device = command.bus.port; // else the port ChoosePort() names
    auto *form = new MainWindow(options);
    form->findChild<QCheckBox *>(QStringLiteral("Check_quick"))->setChecked(command.quick);
    form->findChild<QCheckBox *>(QStringLiteral("Check_unread"))->setChecked(command.includeUnread);
    ToolWindow window(form, {&form->port(), [form] { return form->loader().isRunning(); },
                             [form](const QString &text) {
                                 form->setStatus(text);
                             }});
    form->Form_Load();
    window.start(command.bus);
    return QApplication::exec();
}
