#include "commandline.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    // A backup, restore or comparison from a script needs no display.
    if (IsCommandLineRun(arguments)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("sysload"));
        QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));
        QTextStream out(stdout);
        QTextStream err(stderr);
#ifdef Q_OS_UNIX
        const bool terminal = ::isatty(STDERR_FILENO) != 0;
#else
        const bool terminal = false;
#endif
        return RunCommandLine(ParseCommandLine(QCoreApplication::arguments()), {}, out, err,
                              terminal);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(SysloadText::ProgramTitle());
    const CommandLine command = ParseCommandLine(QApplication::arguments());
    if (!command.error.isEmpty()) {
        QTextStream err(stderr);
        return RunCommandLine(command, {}, err, err, false);
    }
    SysloadOptions options;
    options.device = command.port;
    options.logPath = command.log;
    MainWindow window(options);
    window.findChild<QCheckBox *>(QStringLiteral("Check_quick"))->setChecked(command.quick);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
