#include "datafile.h"

#include "safefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace {

// Every data file is Windows-1251 text: the Cyrillic labels take one byte each.
constexpr const char *FileEncoding = "windows-1251";

// Longest item text quoted back in a message; the rest is cut off.
constexpr qsizetype ShownItemLength = 40;

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

// A text line as the writer stores it: the text between its two quotes.
bool isTextLine(const QString &line)
{
    return line.size() >= 2 && line.front() == QLatin1Char('"');
}

// A sign, then decimal digits only: "1 2", "1e2" or "0x10" are no numbers here.
bool isDecimal(const QString &text)
{
    const bool signed_ = text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'));
    const QStringView digits = QStringView(text).sliced(signed_ ? 1 : 0);
    return !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

QString shown(const QString &text)
{
    if (text.size() <= ShownItemLength)
        return text;
    return text.first(ShownItemLength) + QChar(0x2026);
}

// The item that was looked for and not found is the one after those taken.
QString endedEarly(const QString &fileName, int line, int itemsTaken)
{
    // One multi-argument call: a '%' in the file name must not be taken for a
    // place of its own.
    return QStringLiteral("Файл %1, строка %2: файл кончился на элементе %3")
        .arg(fileName, QString::number(line), QString::number(itemsTaken + 1));
}

} // namespace

QString DataFilePath(const QString &fileName)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(fileName);
}

// ---------------------------------------------------------------------------
// Writer

void DataFileWriter::addText(const QString &text)
{
    m_lines.append(QLatin1Char('"') + text + QLatin1Char('"'));
}

void DataFileWriter::addNumber(int value)
{
    // QString::number gives exactly the form the readers expect: no blanks,
    // no leading zeros, a minus sign only for a negative value.
    m_lines.append(QString::number(value));
}

std::optional<QByteArray> DataFileWriter::encoded(QString *error) const
{
    const auto failWith = [error](const QString &why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };

    QStringEncoder encoder(FileEncoding);
    if (!encoder.isValid())
        return failWith(QStringLiteral(
            "кодировка Windows-1251 недоступна в этой сборке Qt, файл не составить"));

    const QString lineEnd = QStringLiteral("\r\n");
    QByteArray bytes;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString &line = m_lines.at(i);
        const qsizetype lineNumber = i + 1;

        // A quote or a line break inside a text would end the item early on
        // reading and shift every item after it.
        if (isTextLine(line)) {
            const QStringView inner = QStringView(line).sliced(1, line.size() - 2);
            if (inner.contains(QLatin1Char('"')) || inner.contains(QLatin1Char('\r')) ||
                inner.contains(QLatin1Char('\n')))
                return failWith(QStringLiteral("строка %1: текст «%2» содержит кавычку или "
                                               "перевод строки, в файле они недопустимы")
                                    .arg(lineNumber)
                                    .arg(shown(inner.toString())));
        }

        const QByteArray chunk = encoder.encode(line + lineEnd);
        if (encoder.hasError())
            return failWith(QStringLiteral("строка %1: в тексте «%2» есть знак, которого нет в "
                                           "кодировке Windows-1251")
                                .arg(QString::number(lineNumber), shown(line)));
        bytes.append(chunk);
    }
    if (error)
        error->clear();
    return bytes;
}

QString DataFileWriter::save(const QString &path) const
{
    const QString name = QFileInfo(path).fileName();
    const auto failed = [&name](const QString &why) {
        return QStringLiteral("Файл %1 не записан: %2").arg(name, why);
    };

    // Encode before touching the disk: a text that cannot be written must not
    // cost the installer the file that is already there.
    QString why;
    const std::optional<QByteArray> bytes = encoded(&why);
    if (!bytes)
        return failed(why);

    if (const QString reason = WriteFileSafely(path, *bytes); !reason.isEmpty())
        return failed(reason);
    return QString();
}

// ---------------------------------------------------------------------------
// Reader

bool DataFileReader::open(const QString &path)
{
    QString reason;
    const std::optional<QByteArray> bytes = ReadDataFile(path, &reason);
    setContents(bytes.value_or(QByteArray()), path);
    if (!bytes) {
        m_error = QStringLiteral("Файл %1 не прочитан: %2").arg(m_fileName, reason);
        return false;
    }
    if (const QString kept = KeptCopyPath(path); QFileInfo::exists(kept))
        m_notice = QStringLiteral("Запись файла %1 была прервана, файл может быть испорчен; "
                                  "прежний файл сохранён в %2")
                       .arg(m_fileName, kept);
    return true;
}

void DataFileReader::setContents(const QByteArray &bytes, const QString &fileName)
{
    m_fileName = QFileInfo(fileName).fileName();
    QStringDecoder decoder(FileEncoding);
    // Without the converter the items are still found: quotes, commas, digits
    // and line ends are plain ASCII in Windows-1251. Only the letters of the
    // labels, which are passed over anyway, would come out wrong.
    m_text = decoder.isValid() ? decoder.decode(bytes) : QString::fromLatin1(bytes);
    m_pos = 0;
    m_line = 1;
    m_itemsTaken = 0;
    m_error.clear();
    m_notice.clear();
}

// Finds the next item and takes it. Blank lines are passed over; a line end
// that separates items is left in place and counted when the next item is
// looked for, so line() stays on the line of the item just taken. A comma
// right after an item is taken with it: a comma at the end of a line adds no
// item, while two commas in a row hold an empty item between them.
std::optional<DataFileReader::Item> DataFileReader::nextItem()
{
    const qsizetype size = m_text.size();
    for (;;) {
        while (m_pos < size && isBlank(m_text.at(m_pos)))
            ++m_pos;
        if (m_pos >= size)
            return std::nullopt;
        const QChar c = m_text.at(m_pos);
        if (!isLineEnd(c))
            break;
        // CR LF, a lone LF or a lone CR each end one line.
        ++m_pos;
        if (c == QLatin1Char('\r') && m_pos < size && m_text.at(m_pos) == QLatin1Char('\n'))
            ++m_pos;
        ++m_line;
    }

    ++m_itemsTaken;
    Item item;
    if (m_text.at(m_pos) == QLatin1Char('"')) {
        item.quoted = true;
        const qsizetype start = m_pos + 1;
        qsizetype end = start;
        while (end < size && m_text.at(end) != QLatin1Char('"') && !isLineEnd(m_text.at(end)))
            ++end;
        if (end >= size || m_text.at(end) != QLatin1Char('"')) {
            m_pos = end;
            fail(QStringLiteral("кавычка не закрыта до конца строки: «%1»")
                     .arg(shown(m_text.sliced(start, end - start))));
            return std::nullopt;
        }
        item.text = m_text.sliced(start, end - start);
        // Whatever stands between the closing quote and the separator is ignored.
        m_pos = end + 1;
        while (m_pos < size && m_text.at(m_pos) != QLatin1Char(',') && !isLineEnd(m_text.at(m_pos)))
            ++m_pos;
    } else {
        const qsizetype start = m_pos;
        while (m_pos < size && m_text.at(m_pos) != QLatin1Char(',') && !isLineEnd(m_text.at(m_pos)))
            ++m_pos;
        item.text = m_text.sliced(start, m_pos - start).trimmed();
    }
    if (m_pos < size && m_text.at(m_pos) == QLatin1Char(','))
        ++m_pos;
    return item;
}

void DataFileReader::fail(const QString &what)
{
    m_error = QStringLiteral("Файл %1, строка %2 (элемент %3): %4")
                  .arg(m_fileName, QString::number(m_line), QString::number(m_itemsTaken), what);
}

bool DataFileReader::skipItem()
{
    const int before = m_itemsTaken;
    const std::optional<Item> item = nextItem();
    if (!item) {
        if (m_itemsTaken == before)
            m_error = endedEarly(m_fileName, m_line, m_itemsTaken);
        return false;
    }
    // A number where a label stands is read past by position as any label;
    // it is most often a line added or lost above, which shifts every value
    // after it.
    if (!item->quoted && isDecimal(item->text))
        note(QStringLiteral("на месте подписи стоит число «%1», значения после него могут быть "
                            "сдвинуты")
                 .arg(shown(item->text)));
    m_error.clear();
    return true;
}

void DataFileReader::checkEnd()
{
    const int before = m_itemsTaken;
    if (nextItem() || m_itemsTaken != before)
        note(QStringLiteral("после последнего значения в файле есть ещё строки, они не прочитаны"));
    m_error.clear();
}

void DataFileReader::note(const QString &what)
{
    if (m_notice.isEmpty())
        m_notice =
            QStringLiteral("Файл %1, строка %2: %3").arg(m_fileName, QString::number(m_line), what);
}

std::optional<qint16> DataFileReader::readNumber()
{
    const int before = m_itemsTaken;
    const std::optional<Item> item = nextItem();
    if (!item) {
        if (m_itemsTaken == before)
            m_error = endedEarly(m_fileName, m_line, m_itemsTaken);
        return std::nullopt;
    }
    if (item->quoted) {
        fail(QStringLiteral("ожидалось число, а стоит текст в кавычках «%1»")
                 .arg(shown(item->text)));
        return std::nullopt;
    }
    const QString &text = item->text;
    if (text.isEmpty()) {
        fail(QStringLiteral("ожидалось число, а элемент пуст"));
        return std::nullopt;
    }

    if (!isDecimal(text)) {
        fail(QStringLiteral("ожидалось число, а стоит «%1»").arg(shown(text)));
        return std::nullopt;
    }
    bool inRange = false;
    const qint16 value = text.toShort(&inRange);
    if (!inRange) {
        fail(QStringLiteral("число «%1» вне пределов от -32768 до 32767").arg(shown(text)));
        return std::nullopt;
    }
    m_error.clear();
    return value;
}
