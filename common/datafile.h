#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The tools' data files: one item per line, a text item between double quotes,
// a number in decimal without blanks, CR LF after every line, Windows-1251.
// The readers take items strictly by position; label items are only passed over.

// Where a data file lives: the folder that holds the running tool.
QString DataFilePath(const QString &fileName);

// Collects the items of one file and saves them atomically.
class DataFileWriter
{
public:
    void addText(const QString &text);
    void addNumber(int value);
    int lineCount() const { return static_cast<int>(m_lines.size()); }

    // The whole file in Windows-1251 with CR LF line ends. Empty when a text
    // holds a character that Windows-1251 cannot carry; `error` then says which.
    std::optional<QByteArray> encoded(QString *error = nullptr) const;

    // Writes the file so that on any failure the previous file stays whole
    // (see WriteFileSafely). Returns an empty string on success, otherwise a
    // readable reason that names the file.
    QString save(const QString &path) const;

private:
    QStringList m_lines;
};

// Takes the items of one file in order. Items are separated by line ends or
// commas; a quoted item runs to its closing quote on the same line; blank
// lines are no items. Every failure names the file, the line and the item.
class DataFileReader
{
public:
    // Reads and decodes the whole file; false (see error()) when it cannot be read.
    bool open(const QString &path);
    // Takes the given bytes as the contents of a file with that name.
    void setContents(const QByteArray &bytes, const QString &fileName);

    // Takes the next item whatever it holds: labels are passed over this way.
    // A number found there is noted (see notice()).
    bool skipItem();
    // After the last item a file should hold: notes any item that follows.
    void checkEnd();
    // Takes the next item as a 16-bit signed decimal number.
    std::optional<qint16> readNumber();

    // Why the last call failed, in the installer's language; empty after success.
    QString error() const { return m_error; }
    // Where a file that is read does not look as a file of the tools does
    // (the first such place, naming the file and the line); empty if nowhere.
    QString notice() const { return m_notice; }
    // Items taken so far and the line the last item stood on (1-based).
    int itemsTaken() const { return m_itemsTaken; }
    int line() const { return m_line; }

private:
    struct Item
    {
        QString text;
        bool quoted = false;
    };
    std::optional<Item> nextItem();
    void fail(const QString &what);
    void note(const QString &what);

    QString m_fileName;
    QString m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
    int m_itemsTaken = 0;
    QString m_error;
    QString m_notice;
};
