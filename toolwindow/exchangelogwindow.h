#pragma once

#include "exchangelog.h"

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <deque>

class QTableView;

// The entries of the exchange log as rows: time, direction, bytes and what
// they are. Keeps the newest `limit` entries.
class ExchangeLogModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int DefaultLimit = 10'000;
    enum Column
    {
        TimeColumn,
        DirectionColumn,
        BytesColumn,
        DecodingColumn,
        ColumnCount,
    };

    explicit ExchangeLogModel(int limit = DefaultLimit, QObject *parent = nullptr);

    void append(const QList<ExchangeEntry> &entries);
    void clear();
    // The rows as text, one line each, the columns separated by tabs.
    QString rowsText(QList<int> rows) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    using Row = std::array<QString, ColumnCount>;
    int m_limit;
    std::deque<Row> m_rows;
};

// The window "Журнал обмена": the exchange of the tool's port, live. Rows
// can be selected and copied as text; the window can be cleared.
class ExchangeLogWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ExchangeLogWindow(ExchangeLog *log, QWidget *parent = nullptr);

    ExchangeLogModel &model() { return m_model; }
    // Puts the selected rows on the clipboard as text.
    void copySelected();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    static constexpr std::chrono::milliseconds ShowInterval{250};

    ExchangeLog *m_log;
    ExchangeLogModel m_model;
    QTableView *m_view = nullptr;
    QList<ExchangeEntry> m_pending; // come since the table was last drawn
    QTimer m_showTimer;
};
