#pragma once

#include "toolwindow.h"

#include <QString>

#include <functional>

class BusPort;
class QWidget;

// A windowed tool as its main() describes it.
struct ToolProgram
{
    QString name;        // "voxbook": the program's name, in --help and its messages
    QString description; // one line for --help
    // Builds the form on the tool's port, open or not (a port that would not
    // open is the form's to say), and fills in what the window around the
    // form may ask of it; the port is filled in by RunTool().
    std::function<QWidget *(BusPort &port, ToolBinding &binding)> makeForm;
};

// The whole life of a windowed tool: reads its command line (--help,
// --version, --port, --log), opens the port the command line, the
// environment, the menu's last choice or "port 1" names, builds the form in
// its window under the port menu and the exchange log, and runs until the
// window closes; the port is closed last. Returns the exit code.
int RunTool(int argc, char *argv[], const ToolProgram &program);

// A message of the window around the form (the port menu, the exchange log)
// on a status line whose texts begin "Статус:".
QString StatusMessage(const QString &text);

// RunTool() for a form made by `make(port)` that shows the window's messages
// on its own status line (setStatus(), texts beginning "Статус:") and is busy
// while `busy(form)` says so.
template <typename Make, typename Busy>
int RunStatusTool(int argc, char *argv[], const QString &name, const QString &description,
                  Make make, Busy busy)
{
    return RunTool(argc, argv,
                   {name, description, [make, busy](BusPort &port, ToolBinding &binding) {
                        auto *form = make(port);
                        binding.busy = [form, busy] {
                            return busy(*form);
                        };
                        binding.showStatus = [form](const QString &text) {
                            form->setStatus(StatusMessage(text));
                        };
                        return form;
                    }});
}
