#include "lumbookwindow.h"

#include "busframe.h"
#include "busport.h"
#include "datafile.h"
#include "lumtexts.h"
#include "typedlist.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// First action byte of a task check: "run the task slot that follows".
constexpr int RunTask = 0xD0;

QLabel *Caption(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QPushButton *Button(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // Enter on the focused button presses it, as Space does.
    button->setAutoDefault(true);
    // The caption keeps a margin of a line's height on either side.
    const QFontMetrics metrics = button->fontMetrics();
    button->setMinimumWidth(metrics.horizontalAdvance(caption) + 2 * metrics.height());
    return button;
}

// Puts a text into a list by program: no handler runs.
void Show(QComboBox *list, const QString &text)
{
    list->setCurrentIndex(list->findText(text));
    if (list->currentIndex() < 0)
        list->setEditText(text);
}

} // namespace

LumbookWindow::LumbookWindow(BusPort *port, LumbookOptions options, QWidget *parent)
    : QWidget(parent), m_port(port), m_options(std::move(options)), m_link(port),
      m_engine(&m_link, port, indicatorSetup())
{
    buildControls();
    connect(&m_engine, &RegisterTransfer::statusChanged, this, &LumbookWindow::setStatus);
    Form_Load();
}

LumbookWindow::~LumbookWindow() = default;

// The engine's parameters for an indicator. The address is taken once when a
// run starts, so a run stays with that indicator even if another is chosen
// meanwhile. The callbacks run only on ticks, long after the window is built.
RegisterTransferSetup LumbookWindow::indicatorSetup()
{
    RegisterTransferSetup setup;
    setup.address = [this] {
        return m_editor.indicatorAddress();
    };
    setup.registerCount = IndicatorImage::Registers;
    setup.cell = [this](int reg, int k) {
        return int(runImage().cell(reg, k));
    };
    setup.storeRegister = [this](int reg, const std::array<int, 8> &bytes) {
        for (int k = 0; k < IndicatorImage::Bytes; ++k)
            runImage().cell(reg, k) = qint16(bytes[size_t(k)]);
    };
    setup.readRunEnded = [this] {
        Combo_adr_Click();
    };
    setup.tick = m_options.tick;
    return setup;
}

IndicatorImage &LumbookWindow::runImage()
{
    return m_images.indicator(IndicatorNumber(m_engine.runAddress()).value());
}

QComboBox *LumbookWindow::addList(const QString &name, const QStringList &entries, Handler handler)
{
    QComboBox *list = NewTypedList(name, entries, this);
    list->setMaxVisibleItems(20);
    // A pick runs the list's handler; so does Enter on a typed text, once, as
    // typed. The focus leaving takes nothing.
    connect(list, &QComboBox::activated, this, [this, handler] { handle(handler); });
    OnTypedEnter(list, [this, handler] { handle(handler); });
    return list;
}

void LumbookWindow::buildControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(LumText::Caption());

    m_adr = addList(QStringLiteral("Combo_adr"), IndicatorAddressTexts(),
                    &IndicatorEditor::Combo_adr_Click);
    m_kor =
        addList(QStringLiteral("Combo_kor"), CorrectionTexts(), &IndicatorEditor::Combo_kor_Click);
    m_osv = addList(QStringLiteral("Combo_osv"), NibbleTexts(), &IndicatorEditor::Combo_osv_Click);
    m_d = addList(QStringLiteral("Combo_d"), TaskSlotTexts(), &IndicatorEditor::Combo_d_Click);
    m_bis =
        addList(QStringLiteral("Combo_bis"), TaskKindTexts(), &IndicatorEditor::Combo_bis_Click);
    m_a = addList(QStringLiteral("Combo_a"), NibbleTexts(), &IndicatorEditor::Combo_a_Click);
    m_n = addList(QStringLiteral("Combo_n"), InputTexts(), &IndicatorEditor::Combo_n_Click);
    m_t = addList(QStringLiteral("Combo_t"), DelayTexts(), &IndicatorEditor::Combo_t_Click);
    for (QComboBox *narrow : {m_adr, m_kor, m_osv, m_a, m_n, m_t})
        narrow->setMinimumContentsLength(4);
    for (QComboBox *wide : {m_d, m_bis})
        wide->setMinimumContentsLength(22);

    // Top row on the left: address, correction, illumination, each under its label.
    auto *top = new QGridLayout;
    top->addWidget(Caption(QStringLiteral("Label1"), LumText::AddressLabel(), this), 0, 0);
    top->addWidget(Caption(QStringLiteral("Label2"), LumText::CorrectionLabel(), this), 0, 1);
    top->addWidget(Caption(QStringLiteral("Label3"), LumText::IlluminationLabel(), this), 0, 2);
    top->addWidget(m_adr, 1, 0);
    top->addWidget(m_kor, 1, 1);
    top->addWidget(m_osv, 1, 2);

    auto *save = Button(QStringLiteral("Command_save"), LumText::SaveButton(), this);
    auto *load = Button(QStringLiteral("Command_load"), LumText::LoadButton(), this);
    auto *check = Button(QStringLiteral("Command_prov"), LumText::CheckButton(), this);
    auto *write = Button(QStringLiteral("Command_s"), LumText::WriteButton(), this);
    auto *read = Button(QStringLiteral("Command_l"), LumText::ReadButton(), this);
    connect(save, &QPushButton::clicked, this, &LumbookWindow::Command_save_Click);
    connect(load, &QPushButton::clicked, this, &LumbookWindow::Command_load_Click);
    connect(check, &QPushButton::clicked, this, &LumbookWindow::Command_prov_Click);
    connect(write, &QPushButton::clicked, this, &LumbookWindow::Command_s_Click);
    connect(read, &QPushButton::clicked, this, &LumbookWindow::Command_l_Click);

    m_status = Caption(QStringLiteral("Label_s"), LumText::Status(), this);
    m_status->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_status->setWordWrap(true);
    m_status->setMinimumHeight(3 * m_status->fontMetrics().height() + 6);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // Below the top row, a column of buttons: the two file buttons side by
    // side, the task check, the status line, the two transfer buttons.
    auto *files = new QHBoxLayout;
    files->addWidget(save);
    files->addWidget(load);
    auto *transfers = new QHBoxLayout;
    transfers->addWidget(write);
    transfers->addWidget(read);
    auto *left = new QVBoxLayout;
    left->addLayout(top);
    left->addSpacing(16);
    left->addLayout(files);
    left->addWidget(check);
    left->addWidget(m_status);
    left->addLayout(transfers);
    left->addStretch();

    // On the right: the task slot, its kind under it, input number and
    // address side by side under the kind, the delay under the address.
    auto *task = new QGridLayout;
    task->addWidget(Caption(QStringLiteral("Label4"), LumText::TaskLabel(), this), 0, 0, 1, 2);
    task->addWidget(m_d, 1, 0, 1, 2);
    task->addWidget(Caption(QStringLiteral("Label5"), LumText::KindLabel(), this), 2, 0, 1, 2);
    task->addWidget(m_bis, 3, 0, 1, 2);
    task->addWidget(Caption(QStringLiteral("Label7"), LumText::InputLabel(), this), 4, 0);
    task->addWidget(Caption(QStringLiteral("Label6"), LumText::AddressOrNumberLabel(), this), 4, 1);
    task->addWidget(m_n, 5, 0);
    task->addWidget(m_a, 5, 1);
    task->addWidget(Caption(QStringLiteral("Label8"), LumText::DelayLabel(), this), 6, 1);
    task->addWidget(m_t, 7, 1);
    task->setRowStretch(8, 1);

    auto *whole = new QHBoxLayout(this);
    whole->addLayout(left);
    whole->addSpacing(16);
    whole->addLayout(task);

    // Tab goes through the lists as they are read, left to right and top to
    // bottom, then through the buttons.
    QWidget *previous = m_adr;
    for (QWidget *next : std::initializer_list<QWidget *>{m_kor, m_osv, m_d, m_bis, m_n, m_a, m_t,
                                                          save, load, check, write, read}) {
        setTabOrder(previous, next);
        previous = next;
    }
    // A form: nothing to gain from resizing it.
    setFixedSize(sizeHint());
}

void LumbookWindow::Form_Load()
{
    QStringList problems;
    if (!m_port->isOpen())
        problems.append(m_port->errorText());
    m_link.setReceiveOffset(0);
    Combo_adr_Click(); // indicator 1, address 80
    if (!QFileInfo::exists(m_options.filePath)) {
        problems.append(LumText::FileMissing(QFileInfo(m_options.filePath).fileName()));
    } else if (const QString error = IndicatorFile::Load(m_images, m_options.filePath);
               !error.isEmpty()) {
        problems.append(LumText::FileUnreadAtStart(error));
    } else {
        Combo_adr_Click();
    }
    // Whatever the file held there, each indicator's own address is its own.
    m_images.fixOwnAddresses();
    if (!problems.isEmpty())
        setStatus(LumText::AtStart(problems));
}

void LumbookWindow::closeEvent(QCloseEvent *event)
{
    QApplication::beep();
    // A run still going would tick into a window that is closing.
    if (m_engine.isActive())
        m_engine.abortRun(LumText::Status());
    event->accept();
}

void LumbookWindow::setStatus(const QString &text)
{
    m_status->setText(text);
}

void LumbookWindow::readLists()
{
    IndicatorLists &lists = m_editor.lists;
    lists.adr = m_adr->currentText();
    lists.kor = m_kor->currentText();
    lists.osv = m_osv->currentText();
    lists.d = m_d->currentText();
    lists.bis = m_bis->currentText();
    lists.a = m_a->currentText();
    lists.n = m_n->currentText();
    lists.t = m_t->currentText();
}

void LumbookWindow::showLists()
{
    const IndicatorLists &lists = m_editor.lists;
    Show(m_adr, lists.adr);
    Show(m_kor, lists.kor);
    Show(m_osv, lists.osv);
    Show(m_d, lists.d);
    Show(m_bis, lists.bis);
    Show(m_a, lists.a);
    Show(m_n, lists.n);
    Show(m_t, lists.t);
    m_a->setEnabled(lists.aEnabled);
    m_n->setEnabled(lists.nEnabled);
    m_t->setEnabled(lists.tEnabled);
}

void LumbookWindow::handle(Handler handler)
{
    readLists();
    const QString refusal = (m_editor.*handler)();
    showLists();
    if (!refusal.isEmpty())
        setStatus(refusal);
}

void LumbookWindow::Combo_adr_Click()
{
    handle(&IndicatorEditor::Combo_adr_Click);
}

void LumbookWindow::Command_save_Click()
{
    // A read run has filled only part of the indicator yet.
    if (m_engine.isActive()) {
        setStatus(TransferText::FileNotSaved());
        return;
    }
    // A save that works leaves the status line as it was.
    if (const QString error = IndicatorFile::Save(m_images, m_options.filePath); !error.isEmpty())
        setStatus(LumText::FileNotSaved(error));
}

void LumbookWindow::Command_load_Click()
{
    // A run sends or fills the indicator: it must not change under it.
    if (m_engine.isActive()) {
        setStatus(TransferText::FileNotLoaded());
        return;
    }
    const QString error = IndicatorFile::Load(m_images, m_options.filePath);
    if (!error.isEmpty()) {
        setStatus(LumText::FileNotLoaded(error));
        return;
    }
    // A load that works leaves the status line as it was, unless the refresh
    // finds a list text to refuse.
    Combo_adr_Click();
}

void LumbookWindow::Command_s_Click()
{
    m_engine.startWriteRun();
}

void LumbookWindow::Command_l_Click()
{
    m_engine.startReadRun();
}

void LumbookWindow::Command_prov_Click()
{
    // A task check inside a run would put a frame between the run's own.
    if (m_engine.isActive() || m_editor.task().code == KeyTaskCode)
        return;
    if (!m_link.isOpen()) {
        setStatus(LumText::TaskCheckNotSent(m_link.errorText()));
        return;
    }
    // D0 goes unstuffed with the header but counts in the checksum; the task
    // number is a payload byte under the stuffing rule (0..F never needs it).
    const std::optional<QByteArray> check =
        FrameBuilder(RequestStart, m_editor.indicatorAddress(), ActionCommand)
            .raw(RunTask)
            .stuffed(m_editor.task().code)
            .finish();
    if (!check || !m_link.SendRaw(*check))
        setStatus(LumText::TaskCheckNotSent(m_link.errorText()));
}
