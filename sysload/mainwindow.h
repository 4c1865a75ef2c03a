#pragma once

#include "loadersession.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;
class VerifyWindow;

// The system loader's window: the twenty controllers to tick, the two run
// buttons and the status line; below them the progress of a run, the
// comparison with the file, the quick exchange, the write of registers not
// read from the house, and the stop.
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
    void Command_sverka_Click();
    void Command_stop_Click();

    const SystemImage &systemImage() const { return m_session.image(); }
    SystemImage &systemImage() { return m_session.image(); }
    const SystemLoader &loader() const { return m_session.loader(); }
    BusPort &port() { return m_session.port(); }
    void setStatus(const QString &text);
    // The result window of the last comparison, while it is open.
    VerifyWindow *verifyWindow() const { return m_verifyWindow; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Unload();
    void showProgress(const RunProgress &progress);
    void paintProgress();
    void runWith(const std::function<void()> &run);
    bool isTicked(int slot) const;
    int showMessage(QMessageBox &box);

    LoaderSession m_session; // a child: the window finds the port and the clock by name
    MessageHook m_messageHook;
    bool m_unloaded = false;

    QLabel *m_heading = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_readButton = nullptr;
    QPushButton *m_writeButton = nullptr;
    QPushButton *m_verifyButton = nullptr;
    QPushButton *m_stopButton = nullptr;
    QCheckBox *m_quickBox = nullptr;
    QCheckBox *m_unreadBox = nullptr;
    QProgressBar *m_progress = nullptr;
    VerifyWindow *m_verifyWindow = nullptr;
    RunProgress m_shownProgress;
    QTimer m_progressPaint;
    QString m_statusText; // the status line's text, without the note below it
    QTimer m_busyNote;    // while it runs, the status line says a press started nothing
    std::array<QCheckBox *, SlotCount> m_boxes{};
};
