#pragma once

#include <QString>

#include <functional>

class RegisterTransfer;

// The file buttons of a tool whose memory the register engine sends and
// fills. While a run is under way the file is neither loaded nor saved: a
// write run sends the memory, which must not change under it, and a read run
// has filled only part of it yet.
class GuardedFile
{
public:
    struct Setup
    {
        const RegisterTransfer *engine = nullptr;
        // The file both buttons work on.
        QString path;
        // Each gives an empty text on success, otherwise the reason, naming
        // the file. After a load that worked, `notice` says where the file
        // does not look as expected, or is empty.
        std::function<QString(QString *notice)> load;
        std::function<QString()> save;
        // The tool's status texts for a load or a save that failed, given the reason.
        std::function<QString(const QString &)> notLoaded;
        std::function<QString(const QString &)> notSaved;
        // The status line: what it shows now, and a new text for it.
        std::function<QString()> status;
        std::function<void(const QString &)> showStatus;
        // The status line with nothing to say.
        QString blankStatus;
        // Shows the memory after a load that worked.
        std::function<void()> refresh;
    };
    explicit GuardedFile(Setup setup) : m_setup(std::move(setup)) {}

    // A load that works leaves the status line as it was, unless it showed
    // the failure of a load or save before, which it clears; it says where
    // the file does not look as expected. The refresh may speak too, when a
    // list holds a text it refuses.
    void Load();
    // A save that works leaves the status line as this class's loads do. A
    // file on disk that did not load is kept under a new name before it is
    // written over, and the status says where.
    void Save();
    // The file on disk did not load (at the tool's start).
    void markUnread() { m_unread = true; }

private:
    void fail(const QString &text);
    void succeed(const QString &text);

    Setup m_setup;
    bool m_unread = false;
    QString m_failure; // the failure text last shown
};
