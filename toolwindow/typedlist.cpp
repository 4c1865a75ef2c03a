#include "typedlist.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

// Hears Enter in a list. The line edit's own signal for it would come twice
// for one press: a key the line edit has used for Enter is still passed on
// to the list, which hands every key back to its line edit. The list itself
// sees each press once, whichever of the two it was typed into.
class EnterFilter : public QObject
{
public:
    EnterFilter(QComboBox *list, std::function<void()> entered)
        : QObject(list), m_entered(std::move(entered))
    {
        list->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                m_entered();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_entered;
};

} // namespace

QComboBox *NewTypedList(const QString &objectName, const QStringList &entries, QWidget *parent)
{
    auto *list = new QComboBox(parent);
    list->setObjectName(objectName);
    list->setEditable(true);
    list->addItems(entries);
    // A typed text is a one-off value, never a new entry.
    list->setInsertPolicy(QComboBox::NoInsert);
    // The editable list comes with a completer that completes a typed prefix
    // to the first entry it starts, whatever the case of its letters.
    list->setCompleter(nullptr);
    // On Enter and when the focus leaves, the list itself would look the typed
    // text up among its entries regardless of case, put the entry found in its
    // place and report it as a pick: "e1" would become E1 and run the pick's
    // handler after the tool has already refused "e1". The line edit's two
    // signals are left to the tool.
    QLineEdit *edit = list->lineEdit();
    QObject::disconnect(edit, &QLineEdit::editingFinished, list, nullptr);
    QObject::disconnect(edit, &QLineEdit::returnPressed, list, nullptr);
    return list;
}

void OnTypedEnter(QComboBox *list, std::function<void()> entered)
{
    new EnterFilter(list, std::move(entered));
}
