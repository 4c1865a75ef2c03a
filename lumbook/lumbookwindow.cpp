#include "lumbookwindow.h"

#include "busframe.h"
#include "busport.h"
#include "formcontrols.h"
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

LumbookWindow::LumbookWindow(BusPort *port, LumbookOptions options, QWidget *parent)
    : QWidget(parent), m_port(port), m_options(std::move(options)), m_link(port),
      m_engine(&m_link, indicatorSetup())
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

// The file buttons' work on all 16 indicators. The callbacks run only on presses.
GuardedFile LumbookWindow::indicatorFile()
{
    return GuardedFile(
        {.engine = &m_engine,
         .path = m_options.filePath,
         .load =
             [this](QString *notice) {
                 return IndicatorFile::Load(m_images, m_options.filePath, notice);
             },
         .save = [this] { return IndicatorFile::Save(m_images, m_options.filePath); },
         .notLoaded = LumText::FileNotLoaded,
         .notSaved = LumText::FileNotSaved,
         .status = [this] { return m_status->text(); },
         .showStatus = std::bind_front(&LumbookWindow::setStatus, this),
         .blankStatus = LumText::Status(),
         .refresh = std::bind_front(&LumbookWindow::Combo_adr_Click, this)});
}

IndicatorImage &LumbookWindow::runImage()
{
    return m_images.indicator(IndicatorNumber(m_engine.runAddress()).value());
}

QComboBox *LumbookWindow::addList(const QString &name, const QStringList &entries, Handler handler)
{
    QComboBox *list = FormList(name, entries, this);
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
    top->addWidget(FormLabel(QStringLiteral("Label1"), LumText::AddressLabel(), this), 0, 0);
    top->addWidget(FormLabel(QStringLiteral("Label2"), LumText::CorrectionLabel(), this), 0, 1);
    top->addWidget(FormLabel(QStringLiteral("Label3"), LumText::IlluminationLabel(), this), 0, 2);
    top->addWidget(m_adr, 1, 0);
    top->addWidget(m_kor, 1, 1);
    top->addWidget(m_osv, 1, 2);

    auto *save = FormButton(QStringLiteral("Command_save"), LumText::SaveButton(), this);
    auto *load = FormButton(QStringLiteral("Command_load"), LumText::LoadButton(), this);
    auto *check = FormButton(QStringLiteral("Command_prov"), LumText::CheckButton(), this);
    auto *write = FormButton(QStringLiteral("Command_s"), LumText::WriteButton(), this);
    auto *read = FormButton(QStringLiteral("Command_l"), LumText::ReadButton(), this);
    connect(save, &QPushButton::clicked, this, &LumbookWindow::Command_save_Click);
    connect(load, &QPushButton::clicked, this, &LumbookWindow::Command_load_Click);
    connect(check, &QPushButton::clicked, this, &LumbookWindow::Command_prov_Click);
    connect(write, &QPushButton::clicked, this, &LumbookWindow::Command_s_Click);
    connect(read, &QPushButton::clicked, this, &LumbookWindow::Command_l_Click);

    m_status = FormStatusLine(LumText::Status(), 3, this);

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
    task->addWidget(FormLabel(QStringLiteral("Label4"), LumText::TaskLabel(), this), 0, 0, 1, 2);
    task->addWidget(m_d, 1, 0, 1, 2);
    task->addWidget(FormLabel(QStringLiteral("Label5"), LumText::KindLabel(), this), 2, 0, 1, 2);
    task->addWidget(m_bis, 3, 0, 1, 2);
    task->addWidget(FormLabel(QStringLiteral("Label7"), LumText::InputLabel(), this), 4, 0);
    task->addWidget(FormLabel(QStringLiteral("Label6"), LumText::AddressOrNumberLabel(), this), 4,
                    1);
    task->addWidget(m_n, 5, 0);
    task->addWidget(m_a, 5, 1);
    task->addWidget(FormLabel(QStringLiteral("Label8"), LumText::DelayLabel(), this), 6, 1);
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
    m_link.ForgetReceived();
    Combo_adr_Click(); // indicator 1, address 80
    if (!QFileInfo::exists(m_options.filePath)) {
        problems.append(LumText::FileMissing(QFileInfo(m_options.filePath).fileName()));
    } else {
        // What did read is in memory, the rest zero; the file on disk stays
        // until a save has kept it under another name.
        QString notice;
        const QString error = IndicatorFile::Load(m_images, m_options.filePath, &notice);
        if (!error.isEmpty()) {
            problems.append(LumText::FileUnreadAtStart(error));
            m_file.markUnread();
        } else if (!notice.isEmpty()) {
            problems.append(notice);
        }
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
    ShowInList(m_adr, lists.adr);
    ShowInList(m_kor, lists.kor);
    ShowInList(m_osv, lists.osv);
    ShowInList(m_d, lists.d);
    ShowInList(m_bis, lists.bis);
    ShowInList(m_a, lists.a);
    ShowInList(m_n, lists.n);
    ShowInList(m_t, lists.t);
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
    m_file.Save();
}

void LumbookWindow::Command_load_Click()
{
    m_file.Load();
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
