#include "exchangelogwindow.h"

#include "hextext.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

ExchangeLogModel::ExchangeLogModel(int limit, QObject *parent)
    : QAbstractTableModel(parent), m_limit(limit)
{}

void ExchangeLogModel::append(const QList<ExchangeEntry> &entries)
{
    if (entries.isEmpty())
        return;
    // Only the newest `limit` of these can stay.
    const qsizetype skip = std::max<qsizetype>(0, entries.size() - m_limit);
    const int incoming = static_cast<int>(entries.size() - skip);
    const int excess = static_cast<int>(m_rows.size()) + incoming - m_limit;
    if (excess > 0) {
        beginRemoveRows({}, 0, excess - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + excess);
        endRemoveRows();
    }
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + incoming - 1);
    for (qsizetype i = skip; i < entries.size(); ++i) {
        const ExchangeEntry &entry = entries[i];
        m_rows.push_back(
            {QDateTime::fromMSecsSinceEpoch(entry.wallMs).toString(QStringLiteral("HH:mm:ss.zzz")),
             entry.sent ? QStringLiteral("передано") : QStringLiteral("принято"),
             HexBytes(entry.frame.wire), DescribeFrame(entry.frame)});
    }
    endInsertRows();
}

void ExchangeLogModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

QString ExchangeLogModel::rowsText(QList<int> rows) const
{
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (int row : rows) {
        if (row >= 0 && row < rowCount())
            lines.append(QStringList(m_rows[static_cast<std::size_t>(row)].begin(),
                                     m_rows[static_cast<std::size_t>(row)].end())
                             .join(QLatin1Char('\t')));
    }
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

int ExchangeLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ExchangeLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ExchangeLogModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return m_rows[static_cast<std::size_t>(index.row())][static_cast<std::size_t>(index.column())];
}

QVariant ExchangeLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    switch (section) {
    case TimeColumn:
        return QStringLiteral("Время");
    case DirectionColumn:
        return QStringLiteral("Направление");
    case BytesColumn:
        return QStringLiteral("Байты");
    case DecodingColumn:
        return QStringLiteral("Расшифровка");
    default:
        return {};
    }
}

ExchangeLogWindow::ExchangeLogWindow(ExchangeLog *log, QWidget *parent)
    : QWidget(parent, Qt::Window), m_log(log)
{
    setObjectName(QStringLiteral("ExchangeLogWindow"));
    setWindowTitle(QStringLiteral("Журнал обмена"));

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("exchangeView"));
    m_view->setModel(&m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    QHeaderView *header = m_view->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    const QFontMetrics metrics = m_view->fontMetrics();
    m_view->setColumnWidth(ExchangeLogModel::TimeColumn,
                           metrics.horizontalAdvance(QStringLiteral("00:00:00.000")) + 16);
    m_view->setColumnWidth(ExchangeLogModel::DirectionColumn,
                           metrics.horizontalAdvance(QStringLiteral("Направление")) + 16);
    m_view->setColumnWidth(ExchangeLogModel::BytesColumn,
                           metrics.horizontalAdvance(QStringLiteral("F8 9C 07 01 00 00 00 00 "
                                                                    "00 00 00 00 A4")) +
                               16);

    auto *copy = new QAction(m_view);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &ExchangeLogWindow::copySelected);
    m_view->addAction(copy);

    auto *copyButton = new QPushButton(QStringLiteral("Копировать"), this);
    copyButton->setObjectName(QStringLiteral("copyButton"));
    connect(copyButton, &QPushButton::clicked, this, &ExchangeLogWindow::copySelected);
    auto *clearButton = new QPushButton(QStringLiteral("Очистить"), this);
    clearButton->setObjectName(QStringLiteral("clearButton"));
    connect(clearButton, &QPushButton::clicked, &m_model, &ExchangeLogModel::clear);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(copyButton);
    buttons->addWidget(clearButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addLayout(buttons);
    resize(metrics.horizontalAdvance(QLatin1Char('0')) * 120, metrics.height() * 30);

    // The table is redrawn at most four times a second, with what came
    // meanwhile: a redraw for every frame took 5 % of a core and, now and then,
    // made the exchange's next request 2 ms late.
    m_showTimer.setSingleShot(true);
    m_showTimer.setInterval(ShowInterval);
    connect(m_log, &ExchangeLog::entriesAdded, this, [this](const QList<ExchangeEntry> &entries) {
        m_pending += entries;
        if (!m_showTimer.isActive())
            m_showTimer.start();
    });
    connect(&m_showTimer, &QTimer::timeout, this, [this] {
        // Follow the newest entry unless the installer has scrolled up to read.
        QScrollBar *bar = m_view->verticalScrollBar();
        const bool atEnd = bar->value() == bar->maximum();
        m_model.append(std::exchange(m_pending, {}));
        if (atEnd)
            m_view->scrollToBottom();
    });
}

void ExchangeLogWindow::copySelected()
{
    QList<int> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
        rows.append(index.row());
    const QString text = m_model.rowsText(rows);
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

// The log is taken from the port only while the window is open (or a file
// is written); a minimised window still gathers.
void ExchangeLogWindow::showEvent(QShowEvent *event)
{
    m_log->setWatched(true);
    QWidget::showEvent(event);
}

void ExchangeLogWindow::closeEvent(QCloseEvent *event)
{
    m_log->setWatched(false);
    QWidget::closeEvent(event);
}
