#include "lumbookwindow.h"
#include "runtool.h"

int main(int argc, char *argv[])
{
    return RunTool(
        argc, argv,
        {QStringLiteral("lumbook"),
         QStringLiteral("Edits the indicators' settings, reads and writes them on the bus."),
         [](BusPort &port, ToolBinding &binding) {
             auto *form = new LumbookWindow(&port);
             binding.busy = [form] {
                 return form->engine().isActive();
             };
             binding.showStatus = [form](const QString &text) {
                 form->setStatus(StatusMessage(text));
             };
             return form;
         }});
}
