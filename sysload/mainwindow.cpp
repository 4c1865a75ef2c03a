#include "mainwindow.h"

#include "verifywindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

MainWindow::MainWindow(const SysloadOptions &options, QWidget *parent)
    : QWidget(parent), m_session(options, this)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(SysloadText::WindowTitle());

    m_heading = new QLabel(SysloadText::Heading(), this);
    m_heading->setObjectName(QStringLiteral("Label1"));
    m_heading->setAlignment(Qt::AlignCenter);
    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    m_heading->setFont(headingFont);

    // Each box where the table of the network puts it: boards down the left,
    // indicators down the right; below them the keys and the synchroniser
    // share a row, then the announcer and the telephone.
    auto *boxes = new QGridLayout;
    boxes->setHorizontalSpacing(24);
    for (int slot = 0; slot < SlotCount; ++slot) {
        const SysloadSlot &place = ControllerSlots()[static_cast<std::size_t>(slot)].sysload;
        auto *box = new QCheckBox(place.caption.toString(), this);
        box->setObjectName(place.checkBox.toString());
        m_boxes[static_cast<std::size_t>(slot)] = box;
        boxes->addWidget(box, place.gridRow, place.gridColumn);
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
    m_statusText = m_status->text();
    m_status->setFrameShape(QFrame::StyledPanel);
    m_status->setFrameShadow(QFrame::Sunken);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // Beside the form, below the status line: the progress of a run, then the
    // comparison with the file, the quick exchange and the stop. The bar stays
    // in place between runs so that the form does not change its height.
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setFormat(QString());
    m_progress->setAlignment(Qt::AlignCenter);
    m_verifyButton = new QPushButton(SysloadText::VerifyButton(), this);
    m_verifyButton->setObjectName(QStringLiteral("Command_sverka"));
    m_quickBox = new QCheckBox(SysloadText::QuickBox(), this);
    m_quickBox->setObjectName(QStringLiteral("Check_quick"));
    m_unreadBox = new QCheckBox(SysloadText::UnreadBox(), this);
    m_unreadBox->setObjectName(QStringLiteral("Check_unread"));
    m_stopButton = new QPushButton(SysloadText::StopButton(), this);
    m_stopButton->setObjectName(QStringLiteral("Command_stop"));
    m_stopButton->setEnabled(false);
    m_verifyButton->setAutoDefault(true);
    m_stopButton->setAutoDefault(true);
    auto *extra = new QHBoxLayout;
    extra->addWidget(m_verifyButton);
    extra->addWidget(m_quickBox);
    extra->addWidget(m_unreadBox);
    extra->addStretch();
    extra->addWidget(m_stopButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addSpacing(6);
    layout->addLayout(boxes);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addLayout(extra);
    // Room for the heading in bold and for the longest report line.
    setMinimumWidth(
        std::max(QFontMetrics(headingFont).horizontalAdvance(SysloadText::Heading()),
                 fontMetrics().horizontalAdvance(SysloadText::ReadLine(0x9D, 0x3B, false))) +
        60);
    // A form: nothing to gain from resizing it. The status line keeps room
    // for four lines, read from the top: a port that would not open above a
    // file's reason, or the end of a read run that kept a file that did not
    // load and left registers unread, wrapped at its blanks.
    m_status->setWordWrap(true);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_status->setMinimumHeight(4 * m_status->fontMetrics().lineSpacing() + 6);
    setFixedSize(sizeHint().expandedTo(minimumSize()));

    m_busyNote.setSingleShot(true);
    m_busyNote.setInterval(3000);
    connect(&m_busyNote, &QTimer::timeout, this, [this] { setStatus(m_statusText); });

    m_progressPaint.setSingleShot(true);
    m_progressPaint.setInterval(0);
    connect(&m_progressPaint, &QTimer::timeout, this, &MainWindow::paintProgress);

    SystemLoader &loader = m_session.loader();
    connect(m_readButton, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(m_writeButton, &QPushButton::clicked, this, &MainWindow::Command2_Click);
    connect(m_verifyButton, &QPushButton::clicked, this, &MainWindow::Command_sverka_Click);
    connect(m_stopButton, &QPushButton::clicked, this, &MainWindow::Command_stop_Click);
    connect(&loader, &SystemLoader::statusChanged, this, &MainWindow::setStatus);
    connect(&loader, &SystemLoader::progressChanged, this, &MainWindow::showProgress);
    loader.setSaveFailureHandler([this](const QString &reason) {
        QMessageBox box(QMessageBox::Warning, SysloadText::ProgramTitle(),
                        reason + QStringLiteral("\n\nПрочитанное осталось в памяти. Сохранить "
                                                "ещё раз?"),
                        QMessageBox::Retry | QMessageBox::Cancel, this);
        return showMessage(box) == QMessageBox::Retry;
    });
    loader.setUnreadWarning([this](const QString &text) {
        QMessageBox box(QMessageBox::Warning, SysloadText::ProgramTitle(), text,
                        QMessageBox::Ok | QMessageBox::Cancel, this);
        return showMessage(box) == QMessageBox::Ok;
    });
}

MainWindow::~MainWindow()
{
    Form_Unload();
}

void MainWindow::Form_Load()
{
    // Without the port the window still opens: the file can be loaded and the
    // runs say that the port is not open.
    if (!m_session.openPort())
        setStatus(m_session.port().errorText());
    LoadImageFile();
}

void MainWindow::LoadImageFile()
{
    const QString path = m_session.imagePath();
    QString notice;
    const QString reason = m_session.file().load(&notice);
    // Said under the port's reason when the port would not open either: that
    // is what to fix first.
    const auto say = [this](const QString &text) {
        const BusPort &port = m_session.port();
        setStatus(port.isOpen() ? text : port.errorText() + QLatin1Char('\n') + text);
    };
    if (!reason.isEmpty()) {
        // What was read before the failure stays in the image; nothing is ticked.
        // No file at all is said by the message box alone. A file that is there
        // but will not load is named in the status line with the line and item
        // where reading stopped; it is kept under a new name before a read
        // run's save writes over it.
        if (QFileInfo::exists(path))
            say(reason);
        QMessageBox box(QMessageBox::Warning, SysloadText::ProgramTitle(),
                        SysloadText::MissingFile(), QMessageBox::Ok, this);
        showMessage(box);
        return;
    }
    if (!notice.isEmpty())
        say(SysloadText::StatusInitial() + u' ' + notice);
    const std::array<bool, SlotCount> present = PresentSlots(m_session.image());
    for (int slot = 0; slot < SlotCount; ++slot)
        if (present[static_cast<std::size_t>(slot)])
            m_boxes[static_cast<std::size_t>(slot)]->setChecked(true);
}

// A press while a run (or its error count) is in progress is ignored by the loader.
void MainWindow::Command1_Click()
{
    runWith([this] { m_session.loader().ReadRun([this](int slot) { return isTicked(slot); }); });
}

void MainWindow::Command2_Click()
{
    runWith([this] { m_session.loader().WriteRun([this](int slot) { return isTicked(slot); }); });
}

// Reads the ticked controllers and compares them with the file as it stands;
// the result opens in a window of its own, beside the form.
void MainWindow::Command_sverka_Click()
{
    SystemLoader::RunEnd end = SystemLoader::RunEnd::Busy;
    runWith([this, &end] {
        end = m_session.loader().VerifyRun([this](int slot) { return isTicked(slot); });
    });
    if (end != SystemLoader::RunEnd::Done || m_unloaded)
        return;
    delete m_verifyWindow;
    m_verifyWindow = new VerifyWindow(m_session.loader().verifyResult(), this);
    m_verifyWindow->setWindowFlag(Qt::Window);
    m_verifyWindow->show();
}

void MainWindow::Command_stop_Click()
{
    m_session.loader().requestStop();
}

// The stop is offered while a run or its error count is on; the quick mode
// and the write of unread registers are fixed for the run's length.
void MainWindow::runWith(const std::function<void()> &run)
{
    if (m_session.loader().isRunning() || m_unloaded) {
        // Refused by the loader: the run in progress keeps its controls, and
        // its status line stays, the note below it for a while.
        if (!m_unloaded) {
            m_busyNote.start();
            setStatus(m_statusText);
        }
        run();
        return;
    }
    m_session.setQuick(m_quickBox->isChecked());
    m_session.loader().setIncludeUnread(m_unreadBox->isChecked());
    for (QCheckBox *box : {m_quickBox, m_unreadBox})
        box->setEnabled(false);
    m_stopButton->setEnabled(true);
    const QPointer<MainWindow> alive(this);
    run();
    if (!alive || m_unloaded)
        return;
    for (QCheckBox *box : {m_quickBox, m_unreadBox})
        box->setEnabled(true);
    m_stopButton->setEnabled(false);
}

// The bar repaints at once when its value changes; drawn from here it would
// hold up the next request by a repaint each register. It is drawn from the
// event loop instead, inside the wait that follows the request. The title
// changes with the percentage only.
void MainWindow::showProgress(const RunProgress &progress)
{
    if (m_unloaded)
        return;
    m_shownProgress = progress;
    if (!m_progressPaint.isActive())
        m_progressPaint.start();
    const QString title =
        progress.running
            ? QStringLiteral("%1 % — %2").arg(progress.percent()).arg(SysloadText::WindowTitle())
            : SysloadText::WindowTitle();
    if (title != windowTitle())
        setWindowTitle(title);
}

void MainWindow::paintProgress()
{
    const RunProgress &p = m_shownProgress;
    m_progress->setRange(0, std::max(1, p.total));
    m_progress->setValue(p.done);
    m_progress->setFormat(SysloadText::Progress(p.done, p.total, p.errors, p.left));
}

// Esc stops the run as the button does, wherever the focus stands in the form.
void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Command_stop_Click();
        return;
    }
    QWidget::keyPressEvent(event);
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
    m_session.loader().stop();
    QApplication::beep();
    m_session.port().close();
}

void MainWindow::setStatus(const QString &text)
{
    m_statusText = text;
    m_status->setText(m_busyNote.isActive() ? text + u'\n' + SysloadText::RunBusy() : text);
}

bool MainWindow::isTicked(int slot) const
{
    return m_boxes[static_cast<std::size_t>(slot)]->isChecked();
}

int MainWindow::showMessage(QMessageBox &box)
{
    return m_messageHook ? m_messageHook(box) : box.exec();
}
