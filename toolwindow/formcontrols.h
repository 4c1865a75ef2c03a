#pragma once

#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

// The controls of the forms that voxbook and lumbook lay out, made alike.
// Each carries the name its form gives it: tests and scripted checks find the
// control by it.

// A button that Enter presses when it has the focus, as Space does, and
// whose caption keeps a margin of a line's height on either side.
QPushButton *FormButton(const QString &name, const QString &caption, QWidget *parent);

// A caption.
QLabel *FormLabel(const QString &name, const QString &text, QWidget *parent);

// The status line, Label_s: a sunken panel `lines` lines high whose text
// wraps, so that a long reason (a port's, a file's) is read whole.
QLabel *FormStatusLine(const QString &text, int lines, QWidget *parent);

// A list whose text can also be typed (see NewTypedList), 20 entries shown
// when it opens.
QComboBox *FormList(const QString &name, const QStringList &entries, QWidget *parent);

// Puts a text into a list by program, which runs no handler: the entry of
// that text, or the text as typed when no entry has it.
void ShowInList(QComboBox *list, const QString &text);
