#include "formcontrols.h"

#include "typedlist.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

QPushButton *FormButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(true);
    const QFontMetrics metrics = button->fontMetrics();
    button->setMinimumWidth(metrics.horizontalAdvance(caption) + 2 * metrics.height());
    return button;
}

QLabel *FormLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QLabel *FormStatusLine(const QString &text, int lines, QWidget *parent)
{
    QLabel *status = FormLabel(QStringLiteral("Label_s"), text, parent);
    status->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    status->setWordWrap(true);
    status->setMinimumHeight(lines * status->fontMetrics().height() + 6);
    status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return status;
}

QComboBox *FormList(const QString &name, const QStringList &entries, QWidget *parent)
{
    QComboBox *list = NewTypedList(name, entries, parent);
    list->setMaxVisibleItems(20);
    return list;
}

void ShowInList(QComboBox *list, const QString &text)
{
    list->setCurrentIndex(list->findText(text));
    if (list->currentIndex() < 0)
        list->setEditText(text);
}
