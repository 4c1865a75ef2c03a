#pragma once

#include "announcerimage.h"
#include "guardedfile.h"
#include "registertransfer.h"
#include "scenariofile.h"
#include "scenarioplay.h"
#include "seriallink.h"

#include <QWidget>

#include <array>
#include <chrono>

class BusPort;
class QComboBox;
class QLabel;
class QPushButton;

struct VoxbookOptions
{
    std::chrono::milliseconds tick{250};
    std::chrono::milliseconds pollInterval = ScenarioPlay::DefaultPollInterval;
    QString filePath = ScenarioFile::DefaultPath();
};

// The announcer programmer's window: the scenario number list, the eight
// phrase lists of the scenario shown, the file and bus buttons and the status
// line. The bus work is done by the register engine and the scenario test;
// the window only wires them to its controls.
class VoxbookWindow : public QWidget
{
    Q_OBJECT
public:
    // Uses the port, opened or not, and does not own it.
    explicit VoxbookWindow(BusPort *port, VoxbookOptions options = {}, QWidget *parent = nullptr);
    ~VoxbookWindow() override;

    AnnouncerImage &image() { return m_image; }
    const RegisterTransfer &engine() const { return m_engine; }

    // A scenario number chosen or typed (Enter): show that scenario. Also
    // the refresh after a read run, a file load and the scenario test.
    void Combo_adr_Click();
    // A phrase chosen in list k: its code goes into the image.
    void Combo_d_Click(int k);
    void Command1_Click(); // load the file
    void Command2_Click(); // save the file
    void Command3_Click(); // read run
    void Command4_Click(); // write run
    void Command5_Click(); // scenario test
    void setStatus(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    RegisterTransferSetup announcerSetup();
    GuardedFile scenarioFile();
    void buildControls();
    void Form_Load();
    // Shows the current row of the editor in the phrase lists.
    void showSlots();

    BusPort *m_port;
    VoxbookOptions m_options;
    SerialLink m_link;
    AnnouncerImage m_image;
    ScenarioEditor m_editor{m_image};
    RegisterTransfer m_engine;
    ScenarioPlay m_test;
    GuardedFile m_file = scenarioFile();

    QComboBox *m_number = nullptr;
    std::array<QComboBox *, AnnouncerImage::Slots> m_phrases{};
    QLabel *m_status = nullptr;
};
