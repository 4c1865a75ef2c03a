#include "lumbookwindow.h"
#include "runtool.h"

int main(int argc, char *argv[])
{
    return RunStatusTool(
        argc, argv, QStringLiteral("lumbook"),
        QStringLiteral("Edits the indicators' settings, reads and writes them on the bus."),
        [](BusPort &port) { return new LumbookWindow(&port); },
        [](LumbookWindow &form) { return form.engine().isActive(); });
}
