#include "registerblocks.h"

namespace {
constexpr int RegisterBytes = 8;
} // namespace

void AddRegisterBlock(DataFileWriter &writer, const QString &label,
                      const std::function<qint16(int byte)> &byte)
{
    writer.addText(label);
    for (int b = 0; b < RegisterBytes; ++b)
        writer.addNumber(byte(b));
}

bool ReadRegisterBlock(DataFileReader &reader,
                       const std::function<void(int byte, qint16 value)> &store)
{
    if (!reader.skipItem())
        return false;
    for (int b = 0; b < RegisterBytes; ++b) {
        const std::optional<qint16> value = reader.readNumber();
        if (!value)
            return false;
        store(b, *value);
    }
    return true;
}
