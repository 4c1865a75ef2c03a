#include "voxbookwindow.h"

#include "busport.h"
#include "formcontrols.h"
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

VoxbookWindow::VoxbookWindow(BusPort *port, VoxbookOptions options, QWidget *parent)
    : QWidget(parent), m_port(port), m_options(std::move(options)), m_link(port),
      m_engine(&m_link, announcerSetup()), m_test(&m_link, &m_engine, m_options.pollInterval)
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

// The file buttons' work on the scenarios. The callbacks run only on presses.
GuardedFile VoxbookWindow::scenarioFile()
{
    return GuardedFile({.engine = &m_engine,
                        .path = m_options.filePath,
                        .load =
                            [this](QString *notice) {
                                return ScenarioFile::Load(m_image, m_options.filePath, notice);
                            },
                        .save = [this] { return ScenarioFile::Save(m_image, m_options.filePath); },
                        .notLoaded = VoxText::FileNotLoaded,
                        .notSaved = VoxText::FileNotSaved,
                        .status = [this] { return m_status->text(); },
                        .showStatus = std::bind_front(&VoxbookWindow::setStatus, this),
                        .blankStatus = VoxText::Status(),
                        .refresh = std::bind_front(&VoxbookWindow::Combo_adr_Click, this)});
}

void VoxbookWindow::buildControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(VoxText::Caption());

    QLabel *numberLabel = FormLabel(QStringLiteral("Label1"), VoxText::NumberLabel(), this);
    // Only a pick is a choice; a typed text is no entry, whatever it spells.
    m_number = FormList(QStringLiteral("Combo_adr"), ScenarioNumbers(), this);
    m_number->setMinimumContentsLength(4);
    m_number->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_number, &QComboBox::activated, this, &VoxbookWindow::Combo_adr_Click);
    OnTypedEnter(m_number, [this] { Combo_adr_Click(); });

    QLabel *phrasesLabel = FormLabel(QStringLiteral("Label2"), VoxText::PhrasesLabel(), this);

    auto *left = new QVBoxLayout;
    left->addWidget(numberLabel);
    left->addWidget(m_number);
    left->addSpacing(10);
    left->addWidget(phrasesLabel);
    const QStringList phrases = PhraseTexts();
    for (int k = 0; k < AnnouncerImage::Slots; ++k) {
        QComboBox *list = FormList(QStringLiteral("Combo_d%1").arg(k), phrases, this);
        list->setMinimumContentsLength(34);
        connect(list, &QComboBox::activated, this, [this, k] { Combo_d_Click(k); });
        m_phrases[size_t(k)] = list;
        left->addWidget(list);
    }
    left->addStretch();

    auto *load = FormButton(QStringLiteral("Command1"), VoxText::LoadButton(), this);
    auto *save = FormButton(QStringLiteral("Command2"), VoxText::SaveButton(), this);
    auto *read = FormButton(QStringLiteral("Command3"), VoxText::ReadButton(), this);
    auto *write = FormButton(QStringLiteral("Command4"), VoxText::WriteButton(), this);
    auto *test = FormButton(QStringLiteral("Command5"), VoxText::TestButton(), this);
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

    m_status = FormStatusLine(VoxText::Status(), 2, this);

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
    m_link.ForgetReceived();
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
        ShowInList(list, m_editor.slotText(k));
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
    m_file.Load();
}

void VoxbookWindow::Command2_Click()
{
    m_file.Save();
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
