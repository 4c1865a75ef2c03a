#pragma once

#include "backupfile.h"
#include "busport.h"
#include "quickexchange.h"
#include "seriallink.h"
#include "systemimage.h"
#include "systemloader.h"
#include "waitclock.h"

#include <QObject>

#include <chrono>
#include <memory>

// What the loader is built with: production values by default; tests shorten
// the wait unit and point the port and the image file elsewhere.
struct SysloadOptions
{
    std::chrono::milliseconds waitUnit{400};
    std::chrono::milliseconds burstGap = BusPort::DefaultBurstGap;
    QString device;    // empty: the port ChoosePort() names without --port
    QString imagePath; // empty: sysload.txt beside the program
};

// Everything the loader works with, without a window: the port, the link,
// the wait clock, the image with its file and the runs. The window and the
// command line each hold one; the exchange log listens to the port from outside.
class LoaderSession : public QObject
{
    Q_OBJECT
public:
    explicit LoaderSession(const SysloadOptions &options, QObject *parent = nullptr);
    ~LoaderSession() override;

    // Opens the port named in the options, else the one ChoosePort() names
    // (UMD_SERIAL_PORT, the port last chosen in a tool's menu, "port 1").
    // False when it cannot be opened: port().errorText() says why.
    bool openPort();
    QString imagePath() const;

    // Quick mode for the runs from now on. Off, every wait is the full one
    // and the port's burst gap is the one the options give.
    void setQuick(bool quick);

    BusPort &port() { return m_port; }
    SerialLink &link() { return *m_link; }
    WaitClock &clock() { return m_clock; }
    SystemImage &image() { return m_image; }
    const SystemImage &image() const { return m_image; }
    BackupFile &file() { return *m_file; }
    SystemLoader &loader() { return *m_loader; }
    const SystemLoader &loader() const { return *m_loader; }

private:
    SysloadOptions m_options;
    BusPort m_port; // a child, so that the window finds it by its name
    std::unique_ptr<SerialLink> m_link;
    WaitClock m_clock; // a child too: its unit is the program's timing
    SystemImage m_image;
    std::unique_ptr<BackupFile> m_file;
    std::unique_ptr<SystemLoader> m_loader;
    std::unique_ptr<QuickExchange> m_quick;
};
