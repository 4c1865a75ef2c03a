#include "commandline.h"
#include "mainwindow.h"
#include "portchoice.h"
#include "toolwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    BusOptions bus;
    if (const auto end = ReadToolCommandLine(
            argc, argv, QStringLiteral("sysload"),
            QStringLiteral("Backs up and restores the registers of every controller."), &bus))
        return *end;
    QApplication app(argc, argv);
    QApplication::setApplicationName(SysloadText::ProgramTitle());
    SysloadOptions options;
    options.device = ChoosePort(bus.port).device;
    auto *form = new MainWindow(options);
    ToolWindow window(form, {&form->port(), [form] { return form->loader().isRunning(); },
                             [form](const QString &text) {
                                 form->setStatus(text);
                             }});
    form->Form_Load();
    window.start(bus);
    return QApplication::exec();
}
