#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QComboBox;
class QWidget;

// A drop-down list whose text can also be typed, as every tool's lists are.
// A typed text is read exactly as it was typed: nothing completes it ("5"
// stays 5 and does not become the entry 50), nothing folds its case ("Сон" is
// not the entry "сон"), and neither Enter nor the focus leaving turns it into
// an entry or adds it to the list. Only a pick from the list (the list's
// activated signal) is a pick; what a tool does with a typed text, and when,
// it decides itself.
QComboBox *NewTypedList(const QString &objectName, const QStringList &entries, QWidget *parent);

// Runs `entered` when Enter is pressed in the list while it is not open, once
// for each press.
void OnTypedEnter(QComboBox *list, std::function<void()> entered);
