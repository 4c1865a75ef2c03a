#pragma once

#include "controllertable.h"

#include <QString>
#include <QtGlobal>

#include <array>

class DataFileWriter;

// One register: eight bytes, each held as a 16-bit signed integer. A value
// read from a controller is 0..255; one loaded from a hand-edited file may be
// anything a 16-bit integer holds.
using RegisterValues = std::array<qint16, RegisterBytes>;

// The non-volatile registers of every controller the loader knows, all 0 at
// start. Slots are indexed 0..19 in table order, registers by their bus
// register number 0..59; a slot only ever uses its first registerCount
// registers.
class SystemImage
{
public:
    RegisterValues &at(int slot, int registerNumber);
    const RegisterValues &at(int slot, int registerNumber) const;

    // Byte 1 of register 0 also marks the slot as present: the start-up load
    // ticks a slot exactly when it is not 0, and a read run clears it for
    // every slot left unticked.
    qint16 presenceMarker(int slot) const { return at(slot, 0)[0]; }
    void clearPresenceMarker(int slot) { at(slot, 0)[0] = 0; }

    bool operator==(const SystemImage &) const = default;

private:
    std::array<std::array<RegisterValues, MaxRegisters>, SlotCount> m_values{};
};

// The image file: for each of the 20 slots a quoted header with the address
// in hex, then for each register a quoted label "регистр-<n in hex>" and its
// eight values, one item a line. 6716 lines in all.
DataFileWriter ImageFileContents(const SystemImage &image);

// Writes the whole image to `path` atomically. Empty on success, otherwise
// the reason, naming the file; the previous file is then left whole.
QString SaveImageFile(const SystemImage &image, const QString &path);

// Loads the file strictly by position into the image: headers and labels are
// passed over unread, values go straight into their entries. On failure
// (no file, a file that ends early, a value line that is no number) the
// entries read so far keep their new values and the rest their old ones;
// the reason, naming the file and line, is returned. Empty on success.
// After a success `notice` says where the file does not look as expected.
QString LoadImageFile(SystemImage &image, const QString &path, QString *notice = nullptr);

// Which slots a loaded image ticks: those whose presence marker is not 0.
std::array<bool, SlotCount> PresentSlots(const SystemImage &image);
