#include "probewindow.h"
#include "runtool.h"

int main(int argc, char *argv[])
{
    return RunStatusTool(
        argc, argv, QStringLiteral("busprobe"),
        QStringLiteral("Sends one command to one controller and shows its reply."),
        [](BusPort &port) { return new ProbeWindow({.port = &port}); },
        [](ProbeWindow &form) { return form.exchange().isRunning(); });
}
