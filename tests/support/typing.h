#pragma once

// Typing into a tool's list as the installer does: the list takes the focus,
// Ctrl+A selects what it shows, and each character is one key press whose
// text is that character, Cyrillic included (QTest::keyClicks passes on only
// Latin-1). Then Enter, Tab, or nothing, when a button press follows.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QTest>

enum class TypedEnd
{
    Enter,
    Tab,
    None,
};

inline void TypeInto(QComboBox *list, const QString &text, TypedEnd end)
{
    list->setFocus(Qt::TabFocusReason);
    QLineEdit *edit = list->lineEdit();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    if (end == TypedEnd::Enter)
        QTest::keyClick(edit, Qt::Key_Return);
    else if (end == TypedEnd::Tab)
        QTest::keyClick(edit, Qt::Key_Tab);
}

// One step of an installer's work on a window: "Combo_d0=5\t" types 5 into
// Combo_d0 and ends it by Tab (a trailing \n: Enter; neither: nothing),
// ">Combo_koman=действие" picks that entry from the list, "Command1" presses
// the button.
struct TypedStep
{
    QString name;
    QString text;
    TypedEnd end = TypedEnd::None;
    bool pick = false;
    bool press = false;
};

inline TypedStep ParseStep(const QString &step)
{
    TypedStep parsed;
    parsed.pick = step.startsWith(u'>');
    parsed.press = !step.contains(u'=');
    parsed.name = step.section(u'=', 0, 0).mid(parsed.pick ? 1 : 0);
    parsed.text = step.section(u'=', 1);
    if (parsed.text.endsWith(u'\n') || parsed.text.endsWith(u'\t')) {
        parsed.end = parsed.text.endsWith(u'\n') ? TypedEnd::Enter : TypedEnd::Tab;
        parsed.text.chop(1);
    }
    return parsed;
}

inline void TypeSteps(QWidget *window, const QStringList &steps)
{
    for (const QString &text : steps) {
        const TypedStep step = ParseStep(text);
        if (step.press) {
            auto *button = window->findChild<QAbstractButton *>(step.name);
            QVERIFY2(button, qPrintable(step.name));
            QTest::mouseClick(button, Qt::LeftButton);
            continue;
        }
        auto *list = window->findChild<QComboBox *>(step.name);
        QVERIFY2(list && list->isEnabled(), qPrintable(step.name));
        if (step.pick) {
            // What a click on the entry in the open list does.
            list->setCurrentIndex(list->findText(step.text));
            QVERIFY2(list->currentIndex() >= 0, qPrintable(text));
            emit list->activated(list->currentIndex());
        } else {
            TypeInto(list, step.text, step.end);
        }
    }
}
