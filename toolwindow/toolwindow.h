#pragma once

#include "commandline.h"
#include "exchangelog.h"

#include <QMainWindow>

#include <functional>

class ExchangeLogWindow;
class QActionGroup;
class QMenu;
class BusPort;

// What a tool's form lends the window around it.
struct ToolBinding
{
    BusPort *port = nullptr; // the tool's port, open or not
    // True while a run or a wait for a reply is under way: the port must not
    // change under it.
    std::function<bool()> busy = [] {
        return false;
    };
    // Puts a text on the form's status line, in the tool's own style.
    std::function<void(const QString &)> showStatus;
};

// The window of a tool: its form, as it stands, under a menu bar with the
// port menu ("Порт") and the exchange log ("Журнал обмена").
class ToolWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Takes the form as its central widget (and so owns it).
    ToolWindow(QWidget *form, ToolBinding binding, QWidget *parent = nullptr);
    ~ToolWindow() override;

    QWidget *form() const { return m_form; }
    ExchangeLog &exchangeLog() { return m_log; }
    QMenu *portMenu() const { return m_portMenu; }

    // Opens the port on `device` at the bus settings and remembers it for
    // the next start of any tool; refused while the tool is busy. The status
    // line says which port is open now, or why not. True when it is open.
    bool choosePort(const QString &device);
    // Appends the exchange to `path` from now on; the status line says so,
    // or why not.
    bool logToFile(const QString &path);
    // Opens (or raises) the exchange log window.
    ExchangeLogWindow *showExchangeLog();

    // Starts the exchange log file the command line names (a failure is said
    // on the status line, and the tool goes on without it) and shows the window.
    void start(const BusOptions &options);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void fillPortMenu();
    void askForDevice();
    void askForLogFile();

    QWidget *m_form;
    ToolBinding m_binding;
    ExchangeLog m_log;
    QMenu *m_portMenu = nullptr;
    QActionGroup *m_portGroup = nullptr;
    QAction *m_stopLog = nullptr;
    ExchangeLogWindow *m_logWindow = nullptr;
};
