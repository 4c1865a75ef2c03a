#pragma once

#include <QString>
#include <QStringList>

// Every text lumbook shows, in one place.
namespace LumText {

QString Caption();
QString AddressLabel();
QString CorrectionLabel();
QString IlluminationLabel();
QString TaskLabel();
QString KindLabel();
QString AddressOrNumberLabel();
QString InputLabel();
QString DelayLabel();
QString SaveButton();
QString LoadButton();
QString WriteButton();
QString ReadButton();
QString CheckButton();
QString Status();

// A typed indicator address that is none of 80..8F; `kept` stays selected.
QString NotIndicatorAddress(const QString &text, const QString &kept);
// A typed list text that is no value of the list; nothing was changed.
QString NotInList(const QString &label, const QString &text, const QString &range);

// At start: no file yet, or one that could not be read (the reason says why).
QString FileMissing(const QString &fileName);
QString FileUnreadAtStart(const QString &reason);
QString FileNotLoaded(const QString &reason);
// A save that failed; the reason names the file.
QString FileNotSaved(const QString &reason);
QString TaskCheckNotSent(const QString &reason);
// Problems found at start, one after the other on the status line.
QString AtStart(const QStringList &problems);

} // namespace LumText
