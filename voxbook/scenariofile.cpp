#include "scenariofile.h"

#include "announcerimage.h"
#include "datafile.h"

namespace ScenarioFile {

QString DefaultPath()
{
    return DataFilePath(QString::fromLatin1(FileName));
}

QString Save(const AnnouncerImage &image, const QString &path)
{
    DataFileWriter writer;
    for (int row = 1; row <= AnnouncerImage::Rows; ++row) {
        writer.addText(QStringLiteral("регистр-%1").arg(row - 1));
        for (int slot = 0; slot < AnnouncerImage::Slots; ++slot)
            writer.addNumber(image.cell(row, slot));
    }
    return writer.save(path);
}

QString Load(AnnouncerImage &image, const QString &path)
{
    DataFileReader reader;
    if (!reader.open(path))
        return reader.error();
    AnnouncerImage loaded;
    for (int row = 1; row <= AnnouncerImage::Rows; ++row) {
        if (!reader.skipItem())
            return reader.error();
        for (int slot = 0; slot < AnnouncerImage::Slots; ++slot) {
            const std::optional<qint16> value = reader.readNumber();
            if (!value)
                return reader.error();
            loaded.setCell(row, slot, *value);
        }
    }
    image = loaded;
    return QString();
}

} // namespace ScenarioFile
