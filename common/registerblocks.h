#pragma once

#include "datafile.h"

#include <QString>

#include <functional>

// Registers in a data file: each one a block of a quoted label and its eight
// bytes, one number a line. Which registers a file holds, in what order,
// under which labels and with what else between them is each file's own.

// Adds the block of one register: the label, then bytes 0..7 as `byte` gives them.
void AddRegisterBlock(DataFileWriter &writer, const QString &label,
                      const std::function<qint16(int byte)> &byte);

// Takes the block of one register: passes over the label whatever it says,
// then hands bytes 0..7 to `store` as they are read. False at the first item
// that is missing or no number; the reader's error() says where.
bool ReadRegisterBlock(DataFileReader &reader,
                       const std::function<void(int byte, qint16 value)> &store);

// What a file that fails part-way leaves in the image it was read into:
// nothing changed, or the values read before the failure in place.
enum class PartialLoad
{
    Discarded,
    Kept,
};

// Reads the file at `path` with `read` (reader, image; false when it fails).
// Empty on success, otherwise the reason, naming the file and the item where
// reading stopped; a file that is missing or not a data file changes nothing.
// After a success `notice` (when given) says where the file does not look
// as expected, or is empty.
template <typename Image, typename Read>
QString LoadRegisterFile(Image &image, const QString &path, Read read, PartialLoad partial,
                         QString *notice = nullptr)
{
    DataFileReader reader;
    if (!reader.open(path))
        return reader.error();
    Image loaded = partial == PartialLoad::Kept ? image : Image();
    const bool whole = read(reader, loaded);
    if (whole || partial == PartialLoad::Kept)
        image = loaded;
    if (!whole)
        return reader.error();
    reader.checkEnd();
    if (notice != nullptr)
        *notice = reader.notice();
    return QString();
}
