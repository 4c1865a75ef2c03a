#pragma once

#include "busframe.h"
#include "probeexchange.h"
#include "probemodel.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>

class BusPort;
class QComboBox;
class QLabel;
class QPushButton;

struct ProbeOptions
{
    // The bus, open or not; the window does not own it.
    BusPort *port = nullptr;
    std::chrono::milliseconds waitUnit = ProbeExchange::DefaultWaitUnit;
    // How long a verdict stands before the fields are rewritten.
    std::chrono::milliseconds refreshDelay{2000};
    int attemptLimit = ProbeExchange::DefaultAttemptLimit;
    ProbeExchange::Clock clock = [] {
        return QDateTime::currentDateTime();
    };
};

// The bus tester's window, Form1: pick a controller and a command, fill in the
// byte fields the command sends, press the send button, and read the reply's
// values in the same fields and the verdict in the status line.
class ProbeWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ProbeWindow(const ProbeOptions &options = ProbeOptions(), QWidget *parent = nullptr);
    ~ProbeWindow() override;

    int targetAddress() const { return m_targetAddress; }
    int commandCode() const { return m_commandCode; }
    const RequestFields &values() const { return m_values; }
    ProbeExchange &exchange() { return m_exchange; }
    void setStatus(const QString &text);

    // A controller picked, and at every send: the target address follows the
    // controller list's text.
    void Combo_adr_Click();
    // A command picked, and at every send: command code, the synchronisation
    // address, the enabled byte fields and the caption of the data row.
    void Combo_koman_Click();
    // The send button.
    void Command1_Click();
    // The refresh after an exchange: status cleared, all fields rewritten.
    void Timer1_Timer();

protected:
    // Closing the window ends a running exchange and sounds the beep.
    void closeEvent(QCloseEvent *event) override;

private:
    QComboBox *addList(const QString &name, const QStringList &entries, const QString &text);
    QLabel *addLabel(const QString &name, const QString &text);
    QComboBox *field(ByteField which) const;

    ProbeExchange m_exchange;
    // The refresh timer, a child of the window so that it is found by its name.
    QTimer m_timer1;

    QComboBox *m_controllers = nullptr;
    QComboBox *m_commands = nullptr;
    std::array<QComboBox *, ByteFieldCount> m_fields{};
    QLabel *m_dataCaption = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_send = nullptr;

    int m_targetAddress = 0x00;
    int m_commandCode = PresencePoll;
    RequestFields m_values;
};
