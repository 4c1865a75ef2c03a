#include "probewindow.h"
#include "runtool.h"

int main(int argc, char *argv[])
{
    return RunTool(argc, argv,
                   {QStringLiteral("busprobe"),
                    QStringLiteral("Sends one command to one controller and shows its reply."),
                    [](BusPort &port, ToolBinding &binding) {
                        ProbeOptions options;
                        options.port = &port;
                        auto *form = new ProbeWindow(options);
                        binding.busy = [form] {
                            return form->exchange().isRunning();
                        };
                        binding.showStatus = [form](const QString &text) {
                            form->setStatus(StatusMessage(text));
                        };
                        return form;
                    }});
}
