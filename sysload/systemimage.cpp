#include "systemimage.h"

#include "datafile.h"
#include "hextext.h"

RegisterValues &SystemImage::at(int slot, int registerNumber)
{
    return m_values.at(static_cast<std::size_t>(slot)).at(static_cast<std::size_t>(registerNumber));
}

const RegisterValues &SystemImage::at(int slot, int registerNumber) const
{
    return m_values.at(static_cast<std::size_t>(slot)).at(static_cast<std::size_t>(registerNumber));
}

DataFileWriter ImageFileContents(const SystemImage &image)
{
    DataFileWriter writer;
    for (int slot = 0; slot < SlotCount; ++slot) {
        const ControllerSlot &controller = ControllerSlots()[static_cast<std::size_t>(slot)];
        writer.addText(controller.sysload.header.toString() + FormatHex(controller.address));
        for (int n = 0; n < controller.registerCount; ++n) {
            writer.addText(QStringLiteral("регистр-") + FormatHex(n));
            for (qint16 value : image.at(slot, n))
                writer.addNumber(value);
        }
    }
    return writer;
}

QString SaveImageFile(const SystemImage &image, const QString &path)
{
    return ImageFileContents(image).save(path);
}

QString LoadImageFile(SystemImage &image, const QString &path, QString *notice)
{
    DataFileReader reader;
    if (!reader.open(path))
        return reader.error();
    for (int slot = 0; slot < SlotCount; ++slot) {
        const ControllerSlot &controller = ControllerSlots()[static_cast<std::size_t>(slot)];
        if (!reader.skipItem()) // the header: its text is not compared with anything
            return reader.error();
        for (int n = 0; n < controller.registerCount; ++n) {
            if (!reader.skipItem()) // the label
                return reader.error();
            for (qint16 &entry : image.at(slot, n)) {
                const std::optional<qint16> value = reader.readNumber();
                if (!value)
                    return reader.error();
                entry = *value;
            }
        }
    }
    reader.checkEnd();
    if (notice != nullptr)
        *notice = reader.notice();
    return QString();
}

std::array<bool, SlotCount> PresentSlots(const SystemImage &image)
{
    std::array<bool, SlotCount> present{};
    for (int slot = 0; slot < SlotCount; ++slot)
        present[static_cast<std::size_t>(slot)] = image.presenceMarker(slot) != 0;
    return present;
}
