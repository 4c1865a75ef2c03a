#include "runtool.h"

#include "busport.h"
#include "commandline.h"
#include "portchoice.h"

#include <QApplication>

int RunTool(int argc, char *argv[], const ToolProgram &program)
{
    BusOptions bus;
    if (const auto end = ReadToolCommandLine(argc, argv, program.name, program.description, &bus))
        return *end;
    QApplication app(argc, argv);
    QApplication::setApplicationName(program.name);
    const std::unique_ptr<BusPort> port = OpenBusPort(ChoosePort(bus.port).device);
    port->setObjectName(QStringLiteral("MSComm1"));
    int result = 0;
    {
        ToolBinding binding;
        QWidget *form = program.makeForm(*port, binding);
        binding.port = port.get();
        ToolWindow window(form, std::move(binding));
        window.start(bus);
        result = QApplication::exec();
    }
    port->close();
    return result;
}

QString StatusMessage(const QString &text)
{
    return QStringLiteral("Статус: ") + text;
}
