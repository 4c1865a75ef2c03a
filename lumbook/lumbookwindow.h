#pragma once

#include "guardedfile.h"
#include "indicatoreditor.h"
#include "indicatorfile.h"
#include "indicatorimage.h"
#include "registertransfer.h"
#include "seriallink.h"

#include <QWidget>

#include <chrono>

class BusPort;
class QComboBox;
class QLabel;

struct LumbookOptions
{
    std::chrono::milliseconds tick{250};
    QString filePath = IndicatorFile::DefaultPath();
};

// The indicator programmer's window: the eight lists of the selected
// indicator and task slot, the file and bus buttons, the task check and the
// status line. The lists are worked by the editor, the bus runs by the
// register engine; the window wires them to its controls.
class LumbookWindow : public QWidget
{
    Q_OBJECT
public:
    // Uses the port, opened or not, and does not own it.
    explicit LumbookWindow(BusPort *port, LumbookOptions options = {}, QWidget *parent = nullptr);
    ~LumbookWindow() override;

    IndicatorImages &images() { return m_images; }
    const IndicatorEditor &editor() const { return m_editor; }
    RegisterTransfer &engine() { return m_engine; }

    // An indicator chosen (or typed, Enter pressed); also the refresh at
    // start, after a file load and at the end of a read run. The other lists
    // run their editor handler the same way.
    void Combo_adr_Click();

    void Command_save_Click();
    void Command_load_Click();
    void Command_s_Click();    // write run
    void Command_l_Click();    // read run
    void Command_prov_Click(); // task check
    void setStatus(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    RegisterTransferSetup indicatorSetup();
    GuardedFile indicatorFile();
    // The image of the indicator the running (or last) run addresses.
    IndicatorImage &runImage();
    void buildControls();
    using Handler = QString (IndicatorEditor::*)();
    QComboBox *addList(const QString &name, const QStringList &entries, Handler handler);
    void Form_Load();
    // Runs one editor handler on the texts the lists hold now, then shows
    // the texts it leaves and, when it refused a text, why.
    void handle(Handler handler);
    void readLists();
    void showLists();

    BusPort *m_port;
    LumbookOptions m_options;
    SerialLink m_link;
    IndicatorImages m_images;
    IndicatorEditor m_editor{m_images};
    RegisterTransfer m_engine;
    GuardedFile m_file = indicatorFile();

    QComboBox *m_adr = nullptr;
    QComboBox *m_kor = nullptr;
    QComboBox *m_osv = nullptr;
    QComboBox *m_d = nullptr;
    QComboBox *m_bis = nullptr;
    QComboBox *m_a = nullptr;
    QComboBox *m_n = nullptr;
    QComboBox *m_t = nullptr;
    QLabel *m_status = nullptr;
};
