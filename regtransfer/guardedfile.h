#pragma once

#include <QString>

#include <functional>

class RegisterTransfer;

// The file buttons of a tool whose memory the register engine sends and
// fills. While a run is under way the file is neither loaded nor saved: a
// write run sends the memory, which must not change under it, and a read run
// has filled only part of it yet.
struct GuardedFile
{
    const RegisterTransfer *engine = nullptr;
    // Each gives an empty text on success, otherwise the reason, naming the file.
    std::function<QString()> load;
    std::function<QString()> save;
    // The tool's status texts for a load or a save that failed, given the reason.
    std::function<QString(const QString &)> notLoaded;
    std::function<QString(const QString &)> notSaved;
    std::function<void(const QString &)> showStatus;
    // Shows the memory after a load that worked.
    std::function<void()> refresh;

    // A load that works leaves the status line as it was; only the refresh
    // may speak, when a list holds a text it refuses.
    void Load() const;
    // A save that works leaves the status line as it was.
    void Save() const;
};
