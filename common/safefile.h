#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// How the tools' files reach the disk and come back, so that no failure of
// the disk, of the process or of the file itself costs the file that was
// there. Every reason is in the installer's words and leaves naming the file
// to the caller.

// No data file of the tools comes near this size; a larger one is not one.
inline constexpr qint64 MaxDataFileSize = 10 * 1024 * 1024;

// The whole contents of a data file. What is not a plain file (a folder, a
// pipe, a device) or is larger than any data file is refused before it is
// opened, so that nothing waits on a pipe or reads a device without end.
std::optional<QByteArray> ReadDataFile(const QString &path, QString *reason);

// Writes `bytes` as the file at `path`; empty on success, else the reason.
// The new contents go to a new file beside the old one, on the disk before
// it is renamed over the old: a full disk or a killed process leaves the old
// file whole. Where the folder takes no new file but the file itself may be
// written, the file is written in place, its old contents kept meanwhile in
// KeptCopyPath() and put back when the write fails.
QString WriteFileSafely(const QString &path, const QByteArray &bytes);

// Where an in-place write keeps the old contents of the file at `path` until
// the new ones are on the disk; a copy found there means such a write was
// interrupted, and the copy is the file as it was before.
QString KeptCopyPath(const QString &path);

// Keeps the file at `path` as it stands under a new name: beside it, or in
// the folder of KeptCopyPath() where its own folder takes no new file.
// Returns where the copy is, or nothing, with the reason.
std::optional<QString> KeepCopyOf(const QString &path, const QString &why, QString *reason);

// Before a save over a file that did not load, which may be the installer's
// only copy of what it holds: keeps it as KeepCopyOf() does, as
// "непрочитанный". Returns what to say once the save has worked (where the
// copy is; empty when there was no file any more), or nothing, with
// `refusal` saying that the file is not written and why: the save must not
// go on then.
std::optional<QString> KeepUnreadFile(const QString &path, QString *refusal);
