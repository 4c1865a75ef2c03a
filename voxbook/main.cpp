#include "runtool.h"
#include "voxbookwindow.h"

int main(int argc, char *argv[])
{
    return RunTool(
        argc, argv,
        {QStringLiteral("voxbook"),
         QStringLiteral("Edits the announcer's scenarios, reads and writes them on the bus."),
         [](BusPort &port, ToolBinding &binding) {
             auto *form = new VoxbookWindow(&port);
             binding.busy = [form] {
                 return form->engine().isActive();
             };
             binding.showStatus = [form](const QString &text) {
                 form->setStatus(StatusMessage(text));
             };
             return form;
         }});
}
