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

// A tick whose request was answered: "Статус: OK--0" .. "Статус: OK--8".
QString TestPoll(int poll);
// A tick whose request got no answer: "Статус: нет ответа--0" ...
QString TestNoAnswer(int poll);
// "Статус:" and 32 blanks: the scenario test has ended, every request answered.
QString TestDone();
// The test has ended and `missing` of the `judged` requests got no answer.
QString TestUnanswered(int missing, int judged);
QString TestNotStarted(const QString &reason);
QString NumberNotOffered(const QString &text);
QString NumberNotSendable(const QString &text);

QString FileNotLoaded(const QString &reason);
// A save that failed; the reason names the file.
QString FileNotSaved(const QString &reason);
// The port could not be opened at start; the reason names the device.
QString PortNotOpen(const QString &reason);

} // namespace VoxText
