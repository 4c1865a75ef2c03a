#pragma once

#include "verifyresult.h"

#include <QDialog>

class QLabel;
class QTableWidget;

// The result of a comparison of the network with the image file: the counts,
// a table of every differing register with the file's and the network's
// bytes (the differing bytes marked), of every register not read and of every
// one the file holds no value of the house for, and a button that copies the
// whole result as text.
class VerifyWindow : public QDialog
{
    Q_OBJECT
public:
    explicit VerifyWindow(const VerifyResult &result, QWidget *parent = nullptr);

    const VerifyResult &result() const { return m_result; }
    void copyAsText();

private:
    VerifyResult m_result;
    QLabel *m_summary = nullptr;
    QTableWidget *m_table = nullptr;
};
