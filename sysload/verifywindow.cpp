#include "verifywindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
// Controller, register, then the eight bytes of the file and of the network.
constexpr int ByteColumns = 8;
constexpr int FileColumn = 2;
constexpr int NetworkColumn = FileColumn + ByteColumns;

QTableWidgetItem *Cell(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}
} // namespace

VerifyWindow::VerifyWindow(const VerifyResult &result, QWidget *parent)
    : QDialog(parent), m_result(result)
{
    setObjectName(QStringLiteral("VerifyWindow"));
    setWindowTitle(QStringLiteral("Сверка системы с файлом"));

    m_summary = new QLabel(VerifyText::Summary(result), this);
    m_summary->setObjectName(QStringLiteral("Label_sverka"));
    QFont bold = m_summary->font();
    bold.setBold(true);
    m_summary->setFont(bold);

    QStringList headers{QStringLiteral("Адрес"), QStringLiteral("Регистр")};
    for (const QString &side : {QStringLiteral("файл"), QStringLiteral("сеть")})
        for (int j = 1; j <= ByteColumns; ++j)
            headers << QStringLiteral("%1 %2").arg(side).arg(j);

    m_table = new QTableWidget(
        int(result.differing.size() + result.unread.size() + result.unreadInFile.size()),
        int(headers.size()), this);
    m_table->setObjectName(QStringLiteral("Table_sverka"));
    m_table->setHorizontalHeaderLabels(headers);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);

    // A differing byte stands out on both sides: bold on a red ground.
    QFont marked = m_table->font();
    marked.setBold(true);
    const QColor markColour(255, 170, 170);
    int row = 0;
    for (const RegisterDifference &d : result.differing) {
        m_table->setItem(row, 0, Cell(VerifyText::ByteField(qint16(d.address))));
        m_table->setItem(row, 1, Cell(VerifyText::ByteField(qint16(d.registerNumber))));
        for (int j = 0; j < ByteColumns; ++j) {
            const auto at = std::size_t(j);
            QTableWidgetItem *file = Cell(VerifyText::ByteField(d.file[at]));
            QTableWidgetItem *network = Cell(VerifyText::ByteField(d.network[at]));
            if (d.file[at] != d.network[at]) {
                for (QTableWidgetItem *item : {file, network}) {
                    item->setFont(marked);
                    item->setBackground(markColour);
                }
            }
            m_table->setItem(row, FileColumn + j, file);
            m_table->setItem(row, NetworkColumn + j, network);
        }
        ++row;
    }
    // A register not compared: one text across both sides.
    const auto addUnread = [this, &row](const QList<UnreadRegister> &registers,
                                        const QString &why) {
        for (const UnreadRegister &u : registers) {
            m_table->setItem(row, 0, Cell(VerifyText::ByteField(qint16(u.address))));
            m_table->setItem(row, 1, Cell(VerifyText::ByteField(qint16(u.registerNumber))));
            m_table->setSpan(row, FileColumn, 1, 2 * ByteColumns);
            m_table->setItem(row, FileColumn, Cell(why));
            ++row;
        }
    };
    addUnread(result.unread, QStringLiteral("не прочитан"));
    addUnread(result.unreadInFile, QStringLiteral("в файле не из системы: не сверен"));
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *copy =
        buttons->addButton(QStringLiteral("Копировать как текст"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("Command_copy"));
    QPushButton *close = buttons->addButton(QDialogButtonBox::Close);
    close->setText(QStringLiteral("Закрыть"));
    connect(copy, &QPushButton::clicked, this, &VerifyWindow::copyAsText);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_table);
    layout->addWidget(buttons);

    // Wide enough for every column without a scroll bar across.
    int width = 0;
    for (int c = 0; c < m_table->columnCount(); ++c)
        width += m_table->columnWidth(c);
    resize(width + 60, 420);
}

void VerifyWindow::copyAsText()
{
    QApplication::clipboard()->setText(VerifyText::Report(m_result));
}
