#include "voxbookwindow.h"

#include "busport.h"
#include "datafile.h"
#include "networktable.h"
#include "phrasebook.h"
#include "typedlist.h"
#include "voxtexts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Only a pick is a choice; a typed text is no entry, whatever it spells.
QComboBox *EditableList(const QString &name, const QStringList &items, QWidget *parent)
{
    QComboBox *list = NewTypedList(name, items, parent);
    list->setMaxVisibleItems(20);
    return list;
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

} // namespace

VoxbookWindow::VoxbookWindow(BusPort *port, VoxbookOptions options, QWidget *parent)
    : QWidget(parent), m_port(port), m_options(std::move(options)), m_link(port),
      m_engine(&m_link, port, announcerSetup()), m_test(&m_link, &m_engine, m_options.pollInterval)
{
    buildControls();
    connect(&m_engine, &RegisterTransfer::statusChanged, this, &VoxbookWindow::setStatus);
    connect(&m_test, &ScenarioPlay::statusChanged, this, &VoxbookWindow::setStatus);
    Form_Load();
}

VoxbookWindow::~VoxbookWindow() = default;

// The engine's parameters for the announcer. The callbacks run only on
// ticks, long after the window is built.
RegisterTransferSetup VoxbookWindow::announcerSetup()
{
    RegisterTransferSetup setup;
    setup.address = [] {
        return AnnouncerAddress;
    };
    setup.registerCount = AnnouncerImage::Rows;
    // Register r lives in image row r + 1.
    setup.cell = [this](int reg, int k) {
        return int(m_image.cell(reg + 1, k));
    };
    setup.storeRegister = [this](int reg, const std::array<int, 8> &bytes) {
        for (int k = 0; k < AnnouncerImage::Slots; ++k)
            m_image.setCell(reg + 1, k, qint16(bytes[size_t(k)]));
    };
    setup.readRunEnded = [this] {
        Combo_adr_Click();
    };
    setup.ownWriteTimerTick = [this] {
        m_test.step();
    };
    setup.tick = m_options.tick;
    return setup;
}

void VoxbookWindow::buildControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(VoxText::Caption());

    auto *numberLabel = new QLabel(VoxText::NumberLabel(), this);
    numberLabel->setObjectName(QStringLiteral("Label1"));
    m_number = EditableList(QStringLiteral("Combo_adr"), ScenarioNumbers(), this);
    m_number->setMinimumContentsLength(4);
    m_number->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_number, &QComboBox::activated, this, &VoxbookWindow::Combo_adr_Click);
    OnTypedEnter(m_number, [this] { Combo_adr_Click(); });

    auto *phrasesLabel = new QLabel(VoxText::PhrasesLabel(), this);
    phrasesLabel->setObjectName(QStringLiteral("Label2"));

    auto *left = new QVBoxLayout;
    left->addWidget(numberLabel);
    left->addWidget(m_number);
    left->addSpacing(10);
    left->addWidget(phrasesLabel);
    const QStringList phrases = PhraseTexts();
    for (int k = 0; k < AnnouncerImage::Slots; ++k) {
        QComboBox *list = EditableList(QStringLiteral("Combo_d%1").arg(k), phrases, this);
        list->setMinimumContentsLength(34);
        connect(list, &QComboBox::activated, this, [this, k] { Combo_d_Click(k); });
        m_phrases[size_t(k)] = list;
        left->addWidget(list);
    }
    left->addStretch();

    auto *load = Button(QStringLiteral("Command1"), VoxText::LoadButton(), this);
    auto *save = Button(QStringLiteral("Command2"), VoxText::SaveButton(), this);
    auto *read = Button(QStringLiteral("Command3"), VoxText::ReadButton(), this);
    auto *write = Button(QStringLiteral("Command4"), VoxText::WriteButton(), this);
    auto *test = Button(QStringLiteral("Command5"), VoxText::TestButton(), this);
    connect(load, &QPushButton::clicked, this, &VoxbookWindow::Command1_Click);
    connect(save, &QPushButton::clicked, this, &VoxbookWindow::Command2_Click);
    connect(read, &QPushButton::clicked, this, &VoxbookWindow::Command3_Click);
    connect(write, &QPushButton::clicked, this, &VoxbookWindow::Command4_Click);
    connect(test, &QPushButton::clicked, this, &VoxbookWindow::Command5_Click);

    auto *right = new QVBoxLayout;
    right->addSpacing(numberLabel->sizeHint().height());
    right->addWidget(load);
    right->addWidget(save);
    right->addSpacing(16);
    right->addWidget(read);
    right->addWidget(write);
    right->addSpacing(16);
    right->addWidget(test);
    right->addStretch();

    m_status = new QLabel(VoxText::Status(), this);
    m_status->setObjectName(QStringLiteral("Label_s"));
    m_status->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_status->setWordWrap(true);
    m_status->setMinimumHeight(2 * m_status->fontMetrics().height() + 6);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    auto *columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addSpacing(16);
    columns->addLayout(right);

    auto *whole = new QVBoxLayout(this);
    whole->addLayout(columns);
    whole->addWidget(m_status);
    // A form: nothing to gain from resizing it.
    setFixedSize(sizeHint());
}

void VoxbookWindow::Form_Load()
{
    if (!m_port->isOpen())
        setStatus(VoxText::PortNotOpen(m_port->errorText()));
    m_link.setReceiveOffset(0);
    m_number->setEditText(QStringLiteral("E0"));
    Combo_adr_Click();
}

void VoxbookWindow::closeEvent(QCloseEvent *event)
{
    QApplication::beep();
    // A run still going would tick into a window that is closing.
    if (m_engine.isActive())
        m_engine.abortRun(VoxText::Status());
    event->accept();
}

void VoxbookWindow::setStatus(const QString &text)
{
    m_status->setText(text);
}

void VoxbookWindow::showSlots()
{
    for (int k = 0; k < AnnouncerImage::Slots; ++k) {
        QComboBox *list = m_phrases[size_t(k)];
        list->setEnabled(m_editor.slotEnabled(k));
        // Not a choice: the slot keeps its code even when it is no phrase.
        list->setCurrentIndex(list->findText(m_editor.slotText(k)));
    }
}

void VoxbookWindow::Combo_adr_Click()
{
    if (!m_editor.show(m_number->currentText()))
        setStatus(VoxText::NumberNotOffered(m_number->currentText()));
    // Shown again in any case: the image may have changed under the view.
    showSlots();
}

void VoxbookWindow::Combo_d_Click(int k)
{
    m_editor.choose(k, m_phrases[size_t(k)]->currentText());
}

void VoxbookWindow::Command1_Click()
{
    // A run sends or fills the scenarios: they must not change under it.
    if (m_engine.isActive()) {
        setStatus(TransferText::FileNotLoaded());
        return;
    }
    const QString error = ScenarioFile::Load(m_image, m_options.filePath);
    if (!error.isEmpty()) {
        setStatus(VoxText::FileNotLoaded(error));
        return;
    }
    // A load that works leaves the status line as it was; only the refresh
    // may speak, when the number field holds no offered scenario.
    Combo_adr_Click();
}

void VoxbookWindow::Command2_Click()
{
    // A read run has filled only part of the scenarios yet.
    if (m_engine.isActive()) {
        setStatus(TransferText::FileNotSaved());
        return;
    }
    // A save that works leaves the status line as it was.
    if (const QString error = ScenarioFile::Save(m_image, m_options.filePath); !error.isEmpty())
        setStatus(VoxText::FileNotSaved(error));
}

void VoxbookWindow::Command3_Click()
{
    m_engine.startReadRun();
}

void VoxbookWindow::Command4_Click()
{
    m_engine.startWriteRun();
}

void VoxbookWindow::Command5_Click()
{
    if (m_test.start(m_number->currentText()))
        Combo_adr_Click();
}
