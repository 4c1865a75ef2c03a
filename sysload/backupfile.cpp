#include "backupfile.h"

#include "datafile.h"
#include "hextext.h"
#include "safefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {
const ControllerSlot &SlotAt(int slot)
{
    return ControllerSlots()[static_cast<std::size_t>(slot)];
}
} // namespace

// ---------------------------------------------------------------------------
// Unread registers

bool UnreadRegisters::contains(int slot, int registerNumber) const
{
    return m_unread.at(std::size_t(slot)).test(std::size_t(registerNumber));
}

void UnreadRegisters::set(int slot, int registerNumber, bool unread)
{
    m_unread.at(std::size_t(slot)).set(std::size_t(registerNumber), unread);
}

int UnreadRegisters::count(int slot) const
{
    return int(m_unread.at(std::size_t(slot)).count());
}

bool UnreadRegisters::isEmpty() const
{
    return std::ranges::none_of(m_unread, [](const auto &bits) { return bits.any(); });
}

QList<UnreadRegister> UnreadRegisters::list(const std::function<bool(int slot)> &wanted) const
{
    QList<UnreadRegister> registers;
    for (int slot = 0; slot < SlotCount; ++slot)
        for (int n = 0; (!wanted || wanted(slot)) && n < SlotAt(slot).registerCount; ++n)
            if (contains(slot, n))
                registers.append({SlotAt(slot).address, n});
    return registers;
}

UnreadRegisters UnreadRegisters::operator|(const UnreadRegisters &other) const
{
    UnreadRegisters both = *this;
    for (std::size_t slot = 0; slot < both.m_unread.size(); ++slot)
        both.m_unread[slot] |= other.m_unread[slot];
    return both;
}

QStringList RegisterLines(const QList<UnreadRegister> &registers)
{
    QStringList lines;
    for (qsizetype i = 0; i < registers.size();) {
        const int address = registers[i].address;
        QStringList ranges;
        while (i < registers.size() && registers[i].address == address) {
            const int first = registers[i].registerNumber;
            int last = first;
            while (++i < registers.size() && registers[i].address == address &&
                   registers[i].registerNumber == last + 1)
                ++last;
            ranges << (first == last ? FormatHex(first)
                                     : FormatHex(first) + u'-' + FormatHex(last));
        }
        lines << QStringLiteral("  %1: регистры %2").arg(HexByte(address), ranges.join(u", "));
    }
    return lines;
}

// ---------------------------------------------------------------------------
// The record

QString UnreadRecordPath(const QString &imagePath)
{
    const QFileInfo image(imagePath);
    const QString suffix = image.suffix().isEmpty() ? QString() : u'.' + image.suffix();
    return QDir(image.path())
        .filePath(image.completeBaseName() + QStringLiteral(" непрочитанные регистры") + suffix);
}

QString SaveUnreadRecord(const UnreadRegisters &unread, const QString &path)
{
    // A record that cannot be removed is written with no register in it instead.
    if (unread.isEmpty() && (!QFileInfo::exists(path) || QFile::remove(path)))
        return QString();
    DataFileWriter writer;
    writer.addText(QStringLiteral("Регистры, не прочитанные из системы при чтении в файл: в файле "
                                  "у них прежние значения"));
    for (int slot = 0; slot < SlotCount; ++slot) {
        writer.addText(QStringLiteral("адрес-") + HexByte(SlotAt(slot).address));
        writer.addNumber(unread.count(slot));
        for (int n = 0; n < SlotAt(slot).registerCount; ++n)
            if (unread.contains(slot, n))
                writer.addNumber(n);
    }
    return writer.save(path);
}

QString LoadUnreadRecord(UnreadRegisters &unread, const QString &path)
{
    unread = {};
    if (!QFileInfo::exists(path))
        return QString();
    DataFileReader reader;
    if (!reader.open(path) || !reader.skipItem())
        return reader.error();
    // A number that is no register of the slot: the record belongs to no image of this house.
    const auto noRegister = [&](int slot, int value) {
        return QStringLiteral("Файл %1, строка %2: у контроллера $%3 нет регистра %4")
            .arg(QFileInfo(path).fileName(), QString::number(reader.line()),
                 HexByte(SlotAt(slot).address), QString::number(value));
    };
    for (int slot = 0; slot < SlotCount; ++slot) {
        const int count = SlotAt(slot).registerCount;
        std::optional<qint16> listed;
        if (!reader.skipItem() || !(listed = reader.readNumber()))
            return reader.error();
        if (*listed < 0 || *listed > count)
            return noRegister(slot, *listed);
        for (int k = 0; k < *listed; ++k) {
            const std::optional<qint16> n = reader.readNumber();
            if (!n)
                return reader.error();
            if (*n < 0 || *n >= count)
                return noRegister(slot, *n);
            unread.set(slot, *n, true);
        }
    }
    return QString();
}

// ---------------------------------------------------------------------------
// The image file and its record

BackupFile::BackupFile(SystemImage &image, QString path) : m_image(image), m_path(std::move(path))
{}

QString BackupFile::load(QString *notice)
{
    m_recorded = m_unread = {};
    if (QString reason = LoadImageFile(m_image, m_path, notice); !reason.isEmpty()) {
        m_fileUnread = QFileInfo::exists(m_path);
        return reason;
    }
    m_fileUnread = false;
    const QString reason = LoadUnreadRecord(m_recorded, recordPath());
    m_unread = m_recorded;
    return reason;
}

QString BackupFile::save(QString *said)
{
    said->clear();
    if (m_fileUnread) {
        QString refusal;
        const std::optional<QString> kept = KeepUnreadFile(m_path, &refusal);
        if (!kept)
            return refusal;
        m_fileUnread = false;
        m_kept = *kept;
    }
    // Whatever fails on the way, the record never lists fewer registers than
    // the image file on the disk holds unread: before the file it lists the
    // old ones and the new ones, after it the new ones alone.
    const UnreadRegisters both = m_recorded | m_unread;
    if (both != m_recorded) {
        if (QString reason = SaveUnreadRecord(both, recordPath()); !reason.isEmpty())
            return reason;
        m_recorded = both;
    }
    if (QString reason = SaveImageFile(m_image, m_path); !reason.isEmpty())
        return reason;
    // Also when nothing is known of a record left there: then it is removed.
    if (QString reason = SaveUnreadRecord(m_unread, recordPath()); !reason.isEmpty())
        return reason;
    m_recorded = m_unread;
    *said = std::exchange(m_kept, QString());
    return QString();
}
