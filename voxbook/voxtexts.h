#pragma once

#include <QString>

// Every text voxbook shows, in one place.
namespace VoxText {

QString Caption();
QString NumberLabel();
QString PhrasesLabel();
QString LoadButton();
QString SaveButton();
QString ReadButton();
QString WriteButton();
QString TestButton();
QString Status();

// The scenario test counts its polls: "Статус: OK--0" .. "Статус: OK--8".
QString TestPoll(int poll);
// "Статус:" and 32 blanks: the scenario test has ended.
QString TestDone();
QString TestNotStarted(const QString &reason);
QString NumberNotOffered(const QString &text);
QString NumberNotSendable(const QString &text);

QString FileNotLoaded(const QString &reason);
// A save that failed; the reason names the file.
QString FileNotSaved(const QString &reason);
// The port could not be opened at start; the reason names the device.
QString PortNotOpen(const QString &reason);

} // namespace VoxText
