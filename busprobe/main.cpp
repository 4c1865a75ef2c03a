#include "busport.h"
#include "commandline.h"
#include "portchoice.h"
#include "probetexts.h"
#include "probewindow.h"
#include "toolwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    BusOptions bus;
    if (const auto end = ReadToolCommandLine(
            argc, argv, QStringLiteral("busprobe"),
            QStringLiteral("Sends one command to one controller and shows its reply."), &bus))
        return *end;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("busprobe"));
    ProbeOptions options;
    options.device = ChoosePort(bus.port).device;
    auto *form = new ProbeWindow(options);
    ToolWindow window(form, {form->ownPort(), [form] { return form->exchange().isRunning(); },
                             [form](const QString &text) {
                                 form->setStatus(ProbeTexts::StatusPortProblem(text));
                             }});
    window.start(bus);
    return QApplication::exec();
}
