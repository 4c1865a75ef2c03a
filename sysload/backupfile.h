#pragma once

#include "controllertable.h"
#include "systemimage.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <bitset>
#include <functional>

struct UnreadRegister
{
    int address = 0;
    int registerNumber = 0;
};

// Registers of the image whose values were not read from the house: a read
// that failed leaves the register's earlier value in the image (0 when there
// was no file), and such a value must not go back into a controller as if it
// had been read from it.
class UnreadRegisters
{
public:
    bool contains(int slot, int registerNumber) const;
    void set(int slot, int registerNumber, bool unread);
    int count(int slot) const;
    bool isEmpty() const;
    // By slot in table order, then by register; only the slots `wanted`
    // names when it is given.
    QList<UnreadRegister> list(const std::function<bool(int slot)> &wanted = {}) const;

    UnreadRegisters operator|(const UnreadRegisters &other) const;
    bool operator==(const UnreadRegisters &) const = default;

private:
    std::array<std::bitset<MaxRegisters>, SlotCount> m_unread{};
};

// Consecutive registers of one controller as ranges, a line per controller:
// "  81: регистры 0-8", "  9C: регистры 0-3, 7".
QStringList RegisterLines(const QList<UnreadRegister> &registers);

// The record kept beside the image file of its registers not read from the
// house, "sysload непрочитанные регистры.txt" beside "sysload.txt". The
// image file itself keeps its layout; the record is a data file of its own:
// a title, then for each slot in table order a header, the number of its
// unread registers and their numbers, one item a line. There is no record
// while no register is unread.
QString UnreadRecordPath(const QString &imagePath);
// Reads the record at `path` into `unread`; no record: none unread. Empty on
// success, otherwise the reason, naming the file and line.
QString LoadUnreadRecord(UnreadRegisters &unread, const QString &path);
// Writes the record, or removes it when none is unread. Empty on success.
QString SaveUnreadRecord(const UnreadRegisters &unread, const QString &path);

// The image file of the loader and the record beside it, with what the
// image in memory holds that was not read from the house.
class BackupFile
{
public:
    BackupFile(SystemImage &image, QString path);

    SystemImage &image() { return m_image; }
    const QString &path() const { return m_path; }
    QString recordPath() const { return UnreadRecordPath(m_path); }

    // The registers of the image in memory whose values were not read from
    // the house: as the record said at the load, then as each read found them.
    const UnreadRegisters &unread() const { return m_unread; }
    void setRead(int slot, int registerNumber, bool read)
    {
        m_unread.set(slot, registerNumber, !read);
    }

    // Loads the image file, then its record. Empty on success, otherwise the
    // reason, naming the file and line. An image file that is there and does
    // not load is kept under a new name before a save writes over it. After
    // a success `notice` says where the image file does not look as expected.
    QString load(QString *notice = nullptr);
    // Writes the image and its record. Empty on success, otherwise the
    // reason; `said` then tells what the installer must know of a save that
    // worked (where an image file that did not load was kept), or is empty.
    QString save(QString *said);

private:
    SystemImage &m_image;
    QString m_path;
    UnreadRegisters m_unread;
    UnreadRegisters m_recorded; // what the record on the disk lists, as far as known
    bool m_fileUnread = false;  // the image file there did not load
    QString m_kept;             // where it was kept, until the save has worked
};
