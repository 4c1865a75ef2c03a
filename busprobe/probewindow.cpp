#include "probewindow.h"

#include "busport.h"
#include "hextext.h"
#include "probemodel.h"
#include "probetexts.h"
#include "typedlist.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <cstddef>

namespace {

// The window is drawn in twips, 15 to a pixel at the font it was drawn for.
// A wider font gets larger twips, so that the widest heading still fits
// where it stands and everything else keeps its proportions.
double PixelsPerTwip(const QFontMetrics &metrics)
{
    constexpr int DataHeadingWidth = 2175;
    const int needed = metrics.horizontalAdvance(ProbeTexts::DataHeading.toString()) + 8;
    return std::max(1.0 / 15, static_cast<double>(needed) / DataHeadingWidth);
}

} // namespace

ProbeWindow::ProbeWindow(const ProbeOptions &options, QWidget *parent)
    : QWidget(parent), m_exchange(options.port, options.waitUnit, options.clock), m_timer1(this)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(ProbeTexts::WindowTitle.toString());
    const double scale = PixelsPerTwip(fontMetrics());
    const auto Place = [scale](QWidget *widget, int left, int top, int width, int height) {
        widget->setGeometry(qRound(left * scale), qRound(top * scale), qRound(width * scale),
                            qRound(height * scale));
    };
    setFixedSize(qRound(7275 * scale), qRound(4650 * scale));

    Place(addLabel(QStringLiteral("Label1"), ProbeTexts::ControllerHeading.toString()), 840, 360,
          1575, 255);
    m_controllers = addList(QStringLiteral("Combo_adr"), ControllerTexts(), ControllerTexts()[0]);
    Place(m_controllers, 360, 720, 2415, 315);
    Place(addLabel(QStringLiteral("Label2"), ProbeTexts::CommandHeading.toString()), 3840, 360, 855,
          375);
    m_commands = addList(QStringLiteral("Combo_koman"), CommandTexts(), CommandTexts()[0]);
    Place(m_commands, 3240, 720, 2175, 315);
    QLabel *cellHeading = addLabel(QStringLiteral("Label3"), ProbeTexts::CellHeading.toString());
    cellHeading->setWordWrap(true);
    Place(cellHeading, 6240, 240, 615, 375);
    Place(addLabel(QStringLiteral("Label4"), ProbeTexts::DataHeading.toString()), 2640, 1440, 2175,
          375);

    const QStringList bytes = ByteTexts();
    for (int i = 0; i < ByteFieldCount; ++i) {
        const auto which = static_cast<ByteField>(i);
        QComboBox *list = addList(FieldObjectName(which), bytes, bytes[0]);
        list->setEnabled(false);
        m_fields[static_cast<std::size_t>(i)] = list;
    }
    Place(field(ByteField::CellAddress), 6240, 720, 615, 315);
    for (int k = 0; k < 8; ++k) {
        const int left = 360 + 840 * k;
        QLabel *column = addLabel(QStringLiteral("Label%1").arg(5 + k), QString::number(k));
        column->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        Place(column, left, 1800, 615, 255);
        Place(field(DataField(k)), left, 2160, 615, 315);
    }
    m_dataCaption = addLabel(QStringLiteral("Label_d"), QString());
    Place(m_dataCaption, 360, 2640, 2895, 375);
    Place(addLabel(QStringLiteral("Label13"), ProbeTexts::ZoneHeading.toString()), 3480, 2640, 1215,
          375);
    Place(field(ByteField::Zone), 3720, 3000, 615, 315);
    Place(addLabel(QStringLiteral("Label14"), ProbeTexts::StatusHeading.toString()), 5400, 2640,
          615, 255);
    Place(field(ByteField::Status), 5400, 3000, 615, 315);

    m_send = new QPushButton(ProbeTexts::SendButton.toString(), this);
    m_send->setObjectName(QStringLiteral("Command1"));
    // Enter on the focused button presses it, as Space does.
    m_send->setAutoDefault(true);
    Place(m_send, 3720, 3600, 3135, 855);
    m_status = addLabel(QStringLiteral("Label_s"), ProbeTexts::StatusIdle.toString());
    m_status->setWordWrap(true);
    // Room below the first line for a port's message, which may run long.
    Place(m_status, 360, 3840, 3255, 735);

    connect(m_controllers, &QComboBox::activated, this, &ProbeWindow::Combo_adr_Click);
    connect(m_commands, &QComboBox::activated, this, &ProbeWindow::Combo_koman_Click);
    connect(m_send, &QPushButton::clicked, this, &ProbeWindow::Command1_Click);

    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setSingleShot(true);
    m_timer1.setTimerType(Qt::PreciseTimer);
    m_timer1.setInterval(options.refreshDelay);
    connect(&m_timer1, &QTimer::timeout, this, &ProbeWindow::Timer1_Timer);

    m_exchange.setAttemptLimit(options.attemptLimit);
    connect(&m_exchange, &ProbeExchange::statusChanged, this, &ProbeWindow::setStatus);
    connect(&m_exchange.link(), &SerialLink::portFailed, this,
            [this](const QString &why) { setStatus(ProbeTexts::StatusPortProblem(why)); });

    // Form_Load: port 1 at 19200,N,8,1. A port that could not be opened
    // leaves the window working; the status line says which device and why.
    if (!options.port->isOpen())
        setStatus(ProbeTexts::StatusPortProblem(options.port->errorText()));
    m_exchange.link().ForgetReceived();
}

ProbeWindow::~ProbeWindow()
{
    // A wait still running (the window destroyed from inside it) ends here.
    m_exchange.shutDown();
}

QComboBox *ProbeWindow::addList(const QString &name, const QStringList &entries,
                                const QString &text)
{
    // A typed text is read as it stands at the send.
    QComboBox *list = NewTypedList(name, entries, this);
    list->setMaxVisibleItems(16);
    list->setEditText(text);
    return list;
}

QLabel *ProbeWindow::addLabel(const QString &name, const QString &text)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QComboBox *ProbeWindow::field(ByteField which) const
{
    return m_fields[static_cast<std::size_t>(which)];
}

void ProbeWindow::setStatus(const QString &text)
{
    m_status->setText(text);
}

void ProbeWindow::Combo_adr_Click()
{
    m_targetAddress = ControllerAddress(m_controllers->currentText());
}

void ProbeWindow::Combo_koman_Click()
{
    const CommandSetup setup = SetupForCommand(m_commands->currentText());
    m_commandCode = setup.commandCode;
    if (setup.toSyncAddress)
        m_targetAddress = SyncAddress;
    for (int i = 0; i < ByteFieldCount; ++i)
        m_fields[static_cast<std::size_t>(i)]->setEnabled(
            setup.fields.test(static_cast<std::size_t>(i)));
    if (const std::optional<QString> caption = DataRowCaption(m_commandCode, m_targetAddress))
        m_dataCaption->setText(*caption);
}

void ProbeWindow::Command1_Click()
{
    // The wait keeps the window's events flowing; a second press then must
    // not start an exchange inside the first.
    if (m_exchange.isRunning())
        return;
    // The texts of all eleven fields, enabled or not, then the two lists, so
    // that address and command follow texts that were typed rather than picked.
    QStringList texts;
    for (QComboBox *list : m_fields)
        texts.append(list->currentText());
    Combo_adr_Click();
    Combo_koman_Click();
    if (!m_exchange.link().isOpen()) {
        setStatus(ProbeTexts::StatusNotSent(m_exchange.link().errorText()));
        return;
    }
    const FieldReading reading =
        ReadFields(texts, SetupForCommand(m_commands->currentText()).fields, m_values);
    if (!reading.refusal.isEmpty()) {
        setStatus(reading.refusal);
        return;
    }
    m_values = reading.values;

    const ProbeExchange::Outcome outcome = m_exchange.Run(m_targetAddress, m_commandCode, m_values);
    if (outcome.end == ProbeExchange::End::Abandoned)
        return; // the window is closing, or gone
    setStatus(outcome.status);
    if (outcome.end != ProbeExchange::End::Judged && outcome.end != ProbeExchange::End::BusBusy)
        return; // the port's message stays until it is dealt with
    TakeOver(m_values, outcome.judgement);
    m_timer1.start();
}

void ProbeWindow::Timer1_Timer()
{
    m_timer1.stop();
    setStatus(ProbeTexts::StatusCleared());
    // The data row first, then the cell address, the zone and the status.
    for (int k = 0; k < 8; ++k)
        field(DataField(k))->setEditText(FormatHex(FieldValue(m_values, DataField(k))));
    for (const ByteField which : {ByteField::CellAddress, ByteField::Zone, ByteField::Status})
        field(which)->setEditText(FormatHex(FieldValue(m_values, which)));
}

void ProbeWindow::closeEvent(QCloseEvent *event)
{
    // Form_Unload: the beep; the port is closed by the program around the window.
    m_exchange.shutDown();
    m_timer1.stop();
    QApplication::beep();
    event->accept();
}
