#include "toolwindow.h"

#include "busport.h"
#include "exchangelogwindow.h"
#include "portchoice.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>

#include <algorithm>

ToolWindow::ToolWindow(QWidget *form, ToolBinding binding, QWidget *parent)
    : QMainWindow(parent), m_form(form), m_binding(std::move(binding)), m_log(m_binding.port)
{
    setWindowTitle(form->windowTitle());
    setWindowIcon(form->windowIcon());
    // A form that puts its state in its title (a run's percentage) shows it
    // in the window's.
    connect(form, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
    setCentralWidget(form);
    // A form of fixed size keeps the window at its size.
    if (form->minimumSize() == form->maximumSize())
        layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_portMenu = menuBar()->addMenu(QStringLiteral("Порт"));
    m_portMenu->setObjectName(QStringLiteral("portMenu"));
    connect(m_portMenu, &QMenu::aboutToShow, this, &ToolWindow::fillPortMenu);
    fillPortMenu();

    QMenu *logMenu = menuBar()->addMenu(QStringLiteral("Журнал обмена"));
    logMenu->setObjectName(QStringLiteral("logMenu"));
    connect(logMenu->addAction(QStringLiteral("Показать")), &QAction::triggered, this,
            &ToolWindow::showExchangeLog);
    connect(logMenu->addAction(QStringLiteral("Записывать в файл…")), &QAction::triggered, this,
            &ToolWindow::askForLogFile);
    m_stopLog = logMenu->addAction(QStringLiteral("Не записывать в файл"));
    m_stopLog->setEnabled(false);
    connect(m_stopLog, &QAction::triggered, this, [this] {
        const QString path = m_log.filePath();
        m_log.stopFile();
        m_stopLog->setEnabled(false);
        m_binding.showStatus(QStringLiteral("Журнал обмена больше не записывается в %1").arg(path));
    });
    // The file may fail in the middle of a run, whose next status would soon
    // cover the line's text: a box that does not hold the run up says it too.
    connect(&m_log, &ExchangeLog::fileFailed, this, [this](const QString &text) {
        m_stopLog->setEnabled(false);
        m_binding.showStatus(text);
        auto *box =
            new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    });
}

ToolWindow::~ToolWindow() = default;

void ToolWindow::fillPortMenu()
{
    m_portMenu->clear();
    BusPort *port = m_binding.port;
    const QString open = port->isOpen() ? port->deviceName() : QString();
    delete m_portGroup; // the actions it grouped went with clear()
    m_portGroup = new QActionGroup(m_portMenu);
    QActionGroup *group = m_portGroup;
    const auto addChoice = [this, group](const QString &title, const QString &device, bool isOpen) {
        QAction *action = m_portMenu->addAction(title);
        action->setCheckable(true);
        action->setChecked(isOpen);
        action->setActionGroup(group);
        connect(action, &QAction::triggered, this, [this, device] { choosePort(device); });
    };
    const QList<PresentPort> present = PresentPorts();
    // The open port is always marked, even one the system does not list
    // (a pseudo-terminal, a device typed by hand).
    const bool listed = std::any_of(present.begin(), present.end(),
                                    [&open](const PresentPort &p) { return p.isDevice(open); });
    if (!open.isEmpty() && !listed)
        addChoice(open, open, true);
    for (const PresentPort &p : present)
        addChoice(p.title, p.device, !open.isEmpty() && p.isDevice(open));
    if (present.isEmpty() && open.isEmpty())
        m_portMenu->addAction(QStringLiteral("(портов не найдено)"))->setEnabled(false);
    m_portMenu->addSeparator();
    connect(m_portMenu->addAction(QStringLiteral("Другой…")), &QAction::triggered, this,
            &ToolWindow::askForDevice);
    QAction *reopen = m_portMenu->addAction(QStringLiteral("Открыть заново"));
    reopen->setEnabled(!port->deviceName().isEmpty());
    connect(reopen, &QAction::triggered, this,
            [this] { choosePort(m_binding.port->deviceName()); });
}

bool ToolWindow::choosePort(const QString &device)
{
    BusPort *port = m_binding.port;
    if (m_binding.busy()) {
        m_binding.showStatus(QStringLiteral("Порт не сменён: идёт обмен, дождитесь его конца"));
        return false;
    }
    if (device.trimmed().isEmpty())
        return false;
    if (!port->open(device.trimmed())) {
        m_binding.showStatus(port->errorText());
        return false;
    }
    RememberPort(port->deviceName());
    m_binding.showStatus(QStringLiteral("Порт %1 открыт, 19200 8N1").arg(port->deviceName()));
    return true;
}

void ToolWindow::askForDevice()
{
    bool ok = false;
    const QString device =
        QInputDialog::getText(this, QStringLiteral("Другой порт"),
                              QStringLiteral("Устройство (например, /dev/ttyUSB0 или COM5):"),
                              QLineEdit::Normal, m_binding.port->deviceName(), &ok);
    if (ok)
        choosePort(device);
}

bool ToolWindow::logToFile(const QString &path)
{
    QString error;
    if (!m_log.startFile(path, &error)) {
        m_stopLog->setEnabled(false);
        m_binding.showStatus(error);
        return false;
    }
    m_stopLog->setEnabled(true);
    m_binding.showStatus(QStringLiteral("Журнал обмена записывается в %1").arg(path));
    return true;
}

void ToolWindow::askForLogFile()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Записывать журнал обмена в файл"),
        m_log.isWritingFile() ? m_log.filePath() : QStringLiteral("exchange.jsonl"),
        QStringLiteral("Строки JSON (*.jsonl);;Все файлы (*)"), nullptr,
        QFileDialog::DontConfirmOverwrite); // the log is appended to, never overwritten
    if (!path.isEmpty())
        logToFile(path);
}

ExchangeLogWindow *ToolWindow::showExchangeLog()
{
    if (!m_logWindow)
        m_logWindow = new ExchangeLogWindow(&m_log, this);
    m_logWindow->show();
    m_logWindow->raise();
    m_logWindow->activateWindow();
    return m_logWindow;
}

void ToolWindow::closeEvent(QCloseEvent *event)
{
    // The form ends its work as it does on its own: the run stopped, the
    // port closed. A form that refuses to close keeps the window open.
    if (!m_form->close()) {
        event->ignore();
        return;
    }
    if (m_logWindow)
        m_logWindow->close();
    m_log.flush();
    event->accept();
}

void ToolWindow::start(const BusOptions &options)
{
    if (!options.logPath.isEmpty()) {
        QString error;
        if (m_log.startFile(options.logPath, &error)) {
            m_stopLog->setEnabled(true);
        } else {
            // Said beside the port's problem, if there is one: both need seeing to.
            const BusPort *port = m_binding.port;
            m_binding.showStatus(port->isOpen() ? error
                                                : port->errorText() + QStringLiteral("; ") + error);
        }
    }
    show();
}
