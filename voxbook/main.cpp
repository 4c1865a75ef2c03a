#include "runtool.h"
#include "voxbookwindow.h"

int main(int argc, char *argv[])
{
    return RunStatusTool(
        argc, argv, QStringLiteral("voxbook"),
        QStringLiteral("Edits the announcer's scenarios, reads and writes them on the bus."),
        [](BusPort &port) { return new VoxbookWindow(&port); },
        [](const VoxbookWindow &form) { return form.engine().isActive(); });
}
