#pragma once

#include "busport.h"
#include "seriallink.h"
#include "systemimage.h"
#include "systemloader.h"
#include "waitclock.h"

#include <QWidget>

#include <array>
#include <chrono>
#include <functional>

class QCheckBox;
class QLabel;
class QMessageBox;
class QPushButton;

// What the window is built with: production values by default; tests shorten
// the wait unit and point the port and the image file elsewhere.
struct SysloadOptions
{
    std::chrono::milliseconds waitUnit{400};
    std::chrono::milliseconds burstGap = SerialBusPort::DefaultBurstGap;
    QString device;    // empty: "port 1" (SerialBusPort::DefaultDevice())
    QString imagePath; // empty: sysload.txt beside the program
};

// The system loader's window: the twenty controllers to tick, the two run
// buttons and the status line.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    // Shows a message box and returns the button pressed; by default the box's
    // own exec(). Tests put a hook here to see the box and answer it.
    using MessageHook = std::function<int(QMessageBox &)>;

    explicit MainWindow(const SysloadOptions &options = {}, QWidget *parent = nullptr);
    ~MainWindow() override;

    void setMessageHook(MessageHook hook) { m_messageHook = std::move(hook); }

    // Opens the port and loads the image file, ticking the controllers found in it.
    void Form_Load();
    void LoadImageFile();

    void Command1_Click();
    void Command2_Click();

    const SystemImage &systemImage() const { return m_image; }
    SystemImage &systemImage() { return m_image; }
    const SystemLoader &loader() const { return m_loader; }
    SerialBusPort &port() { return m_port; }
    void setStatus(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Unload();
    bool isTicked(int slot) const;
    int showMessage(QMessageBox &box);

    SysloadOptions m_options;
    SerialBusPort m_port; // a child of the window, so that it is found by its name
    SerialLink m_link;
    WaitClock m_clock; // a child too: its unit is the program's timing
    SystemImage m_image;
    SystemLoader m_loader;
    MessageHook m_messageHook;
    bool m_unloaded = false;

    QLabel *m_heading = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_readButton = nullptr;
    QPushButton *m_writeButton = nullptr;
    std::array<QCheckBox *, SlotCount> m_boxes{};
};
