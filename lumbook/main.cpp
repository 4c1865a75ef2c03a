#include "busport.h"
#include "commandline.h"
#include "lumbookwindow.h"
#include "lumtexts.h"
#include "portchoice.h"
#include "toolwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    BusOptions bus;
    if (const auto end = ReadToolCommandLine(
            argc, argv, QStringLiteral("lumbook"),
            QStringLiteral("Edits the indicators' settings, reads and writes them on the bus."),
            &bus))
        return *end;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumbook"));
    SerialBusPort port;
    port.open(ChoosePort(bus.port).device); // a failure is shown in the window
    int result = 0;
    {
        auto *form = new LumbookWindow(&port);
        ToolWindow window(form, {&port, [form] { return form->engine().isActive(); },
                                 [form](const QString &text) {
                                     form->setStatus(LumText::AtStart({text}));
                                 }});
        window.start(bus);
        result = QApplication::exec();
    }
    port.close();
    return result;
}
