#include "busport.h"
#include "commandline.h"
#include "portchoice.h"
#include "toolwindow.h"
#include "voxbookwindow.h"
#include "voxtexts.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    BusOptions bus;
    if (const auto end = ReadToolCommandLine(
            argc, argv, QStringLiteral("voxbook"),
            QStringLiteral("Edits the announcer's scenarios, reads and writes them on the bus."),
            &bus))
        return *end;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("voxbook"));
    SerialBusPort port;
    port.open(ChoosePort(bus.port).device); // a failure is shown in the window
    int result = 0;
    {
        auto *form = new VoxbookWindow(&port);
        ToolWindow window(form, {&port, [form] { return form->engine().isActive(); },
                                 [form](const QString &text) {
                                     form->setStatus(VoxText::PortNotOpen(text));
                                 }});
        window.start(bus);
        result = QApplication::exec();
    }
    port.close();
    return result;
}
