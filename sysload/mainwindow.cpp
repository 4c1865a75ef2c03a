#include "mainwindow.h"

#include "datafile.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
QString ImagePath(const SysloadOptions &options)
{
    return options.imagePath.isEmpty() ? DataFilePath(SysloadText::FileName()) : options.imagePath;
}
} // namespace

MainWindow::MainWindow(const SysloadOptions &options, QWidget *parent)
    : QWidget(parent), m_options(options), m_port(this), m_link(&m_port),
      m_clock(options.waitUnit, QStringLiteral("Timer1"), this),
      m_loader(m_link, m_clock, m_image, ImagePath(options))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(SysloadText::WindowTitle());
    m_port.setObjectName(QStringLiteral("MSComm1"));
    m_port.setBurstGap(options.burstGap);

    m_heading = new QLabel(SysloadText::Heading(), this);
    m_heading->setObjectName(QStringLiteral("Label1"));
    m_heading->setAlignment(Qt::AlignCenter);
    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    m_heading->setFont(headingFont);

    // Boards down the left, indicators down the right; below them the keys
    // and the synchroniser share a row, then the announcer and the telephone.
    auto *boxes = new QGridLayout;
    boxes->setHorizontalSpacing(24);
    for (int slot = 0; slot < SlotCount; ++slot) {
        const ControllerSlot &controller = ControllerSlots()[static_cast<std::size_t>(slot)];
        auto *box = new QCheckBox(controller.caption, this);
        box->setObjectName(QString::fromLatin1(controller.checkBox));
        m_boxes[static_cast<std::size_t>(slot)] = box;
        const int row = slot < 16 ? slot % 8 : 8 + (slot - 16) / 2;
        const int column = slot < 16 ? slot / 8 : (slot - 16) % 2;
        boxes->addWidget(box, row, column);
    }

    m_readButton = new QPushButton(SysloadText::ReadButton(), this);
    m_readButton->setObjectName(QStringLiteral("Command1"));
    m_writeButton = new QPushButton(SysloadText::WriteButton(), this);
    m_writeButton->setObjectName(QStringLiteral("Command2"));
    // Enter on the focused button presses it, as Space does.
    m_readButton->setAutoDefault(true);
    m_writeButton->setAutoDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_readButton);
    buttons->addWidget(m_writeButton);

    // The status line changes with every register; its width is fixed so that
    // the window does not jump while a run reports.
    m_status = new QLabel(SysloadText::StatusInitial(), this);
    m_status->setObjectName(QStringLiteral("Label2"));
    m_status->setFrameShape(QFrame::StyledPanel);
    m_status->setFrameShadow(QFrame::Sunken);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addSpacing(6);
    layout->addLayout(boxes);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->addWidget(m_status);
    // Room for the heading in bold and for the longest report line.
    setMinimumWidth(
        std::max(QFontMetrics(headingFont).horizontalAdvance(SysloadText::Heading()),
                 fontMetrics().horizontalAdvance(SysloadText::ReadLine(0x9D, 0x3B, false))) +
        60);
    // A form: nothing to gain from resizing it. The status line keeps room
    // for two lines (a port that would not open above a file's reason).
    m_status->setMinimumHeight(2 * m_status->fontMetrics().lineSpacing() + 6);
    setFixedSize(sizeHint().expandedTo(minimumSize()));

    connect(m_readButton, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(m_writeButton, &QPushButton::clicked, this, &MainWindow::Command2_Click);
    connect(&m_loader, &SystemLoader::statusChanged, this, &MainWindow::setStatus);
    m_loader.setSaveFailureHandler([this](const QString &reason) {
        QMessageBox box(QMessageBox::Warning, SysloadText::ProgramTitle(),
                        reason + QStringLiteral("\n\nПрочитанное осталось в памяти. Сохранить "
                                                "ещё раз?"),
                        QMessageBox::Retry | QMessageBox::Cancel, this);
        return showMessage(box) == QMessageBox::Retry;
    });
}

MainWindow::~MainWindow()
{
    Form_Unload();
}

void MainWindow::Form_Load()
{
    const QString device =
        m_options.device.isEmpty() ? SerialBusPort::DefaultDevice() : m_options.device;
    // Without the port the window still opens: the file can be loaded and the
    // runs say that the port is not open.
    if (!m_port.open(device))
        setStatus(m_port.errorText());
    m_link.setReceiveOffset(0);
    LoadImageFile();
}

void MainWindow::LoadImageFile()
{
    const QString path = ImagePath(m_options);
    const QString reason = ::LoadImageFile(m_image, path);
    if (!reason.isEmpty()) {
        // What was read before the failure stays in the image; nothing is ticked.
        // No file at all is said by the message box alone. A file that is there
        // but will not load is named in the status line with the line and item
        // where reading stopped, under the port's reason when the port would
        // not open either: that is what to fix first.
        if (QFileInfo::exists(path)) {
            const bool portFailed = !m_port.isOpen() && !m_port.errorText().isEmpty();
            setStatus(portFailed ? m_port.errorText() + QLatin1Char('\n') + reason : reason);
        }
        QMessageBox box(QMessageBox::Warning, SysloadText::ProgramTitle(),
                        SysloadText::MissingFile(), QMessageBox::Ok, this);
        showMessage(box);
        return;
    }
    const std::array<bool, SlotCount> present = PresentSlots(m_image);
    for (int slot = 0; slot < SlotCount; ++slot)
        if (present[static_cast<std::size_t>(slot)])
            m_boxes[static_cast<std::size_t>(slot)]->setChecked(true);
}

// A press while a run (or its error count) is in progress is ignored by the loader.
void MainWindow::Command1_Click()
{
    m_loader.ReadRun([this](int slot) { return isTicked(slot); });
}

void MainWindow::Command2_Click()
{
    m_loader.WriteRun([this](int slot) { return isTicked(slot); });
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

// Ends a run in progress (its wait returns at once and nothing more is sent),
// beeps and releases the port. Nothing is saved on closing.
void MainWindow::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_loader.stop();
    QApplication::beep();
    m_port.close();
}

void MainWindow::setStatus(const QString &text)
{
    m_status->setText(text);
}

bool MainWindow::isTicked(int slot) const
{
    return m_boxes[static_cast<std::size_t>(slot)]->isChecked();
}

int MainWindow::showMessage(QMessageBox &box)
{
    return m_messageHook ? m_messageHook(box) : box.exec();
}
