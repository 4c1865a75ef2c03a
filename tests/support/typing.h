#pragma once

// An installer's work on a window, step by step: "Combo_d0=5\t" types 5 into
// Combo_d0 and ends it by Tab (by Enter for a trailing \n, by nothing
// otherwise), ">Combo_koman=действие" picks that entry as a click in the open
// list does, "Command1" presses the button. Typing selects what the list shows
// (Ctrl+A) and presses one key per character, whose text is that character
// (QTest::keyClicks passes on only Latin-1); an empty text is typed as Delete.
#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QTest>

struct TypedStep
{
    TypedStep(const QString &step)
        : name(step.section(u'=', 0, 0).remove(u'>')), text(step.section(u'=', 1)),
          pick(step.startsWith(u'>'))
    {
        if (text.endsWith(u'\n') || text.endsWith(u'\t'))
            end = text.back(), text.chop(1);
    }
    QString name, text;
    QChar end; // \n, \t or none
    bool pick;
};

inline void TypeSteps(QWidget *window, const QStringList &steps)
{
    for (const TypedStep step : steps) {
        QComboBox *list = window->findChild<QComboBox *>(step.name);
        if (auto *button = window->findChild<QAbstractButton *>(step.name)) {
            QTest::mouseClick(button, Qt::LeftButton);
            continue;
        }
        QVERIFY2(list && list->isEnabled(), qPrintable(step.name));
        if (step.pick) {
            list->setCurrentIndex(list->findText(step.text));
            QVERIFY2(list->currentIndex() >= 0, qPrintable(step.text));
            emit list->activated(list->currentIndex());
            continue;
        }
        list->setFocus(Qt::TabFocusReason);
        QTest::keyClick(list->lineEdit(), Qt::Key_A, Qt::ControlModifier);
        if (step.text.isEmpty())
            QTest::keyClick(list->lineEdit(), Qt::Key_Delete);
        for (QChar c : step.text)
            QTest::sendKeyEvent(QTest::Click, list->lineEdit(), Qt::Key_unknown, QString(c), {});
        if (!step.end.isNull())
            QTest::keyClick(list->lineEdit(), step.end == u'\n' ? Qt::Key_Return : Qt::Key_Tab);
    }
}

// Steps in one text, "|" between them: "Combo_adr=81\n|>Combo_bis=нет|Command_prov".
inline void TypeAll(QWidget *window, const QString &steps)
{
    TypeSteps(window, steps.split(u'|'));
}

// The same on the window shown and active, as the installer has it: the
// focus leaving a list by Tab goes where it would.
inline void ShowAndType(QWidget *window, const QString &steps)
{
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    TypeAll(window, steps);
}

// What all the window's lists show, in the order they were made, "|"
// between them, a disabled one in brackets.
inline QString ListsShown(const QWidget *window)
{
    QStringList texts;
    for (const QComboBox *list : window->findChildren<QComboBox *>())
        texts.append(list->isEnabled() ? list->currentText() : u'(' + list->currentText() + u')');
    return texts.join(u'|');
}

// Writes a whole file, true when it all went.
inline bool PutFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// The form's own texts: its title, then every caption and button in the
// order they were made, "|" between them.
inline QString CaptionsShown(const QWidget *window)
{
    QStringList texts{window->windowTitle()};
    for (const QWidget *w : window->findChildren<QWidget *>())
        if (auto *label = qobject_cast<const QLabel *>(w);
            label && label->objectName() != u"Label_s")
            texts.append(label->text());
        else if (auto *button = qobject_cast<const QAbstractButton *>(w))
            texts.append(button->text());
    return texts.join(u'|');
}
