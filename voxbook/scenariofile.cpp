#include "scenariofile.h"

#include "announcerimage.h"
#include "datafile.h"
#include "registerblocks.h"

namespace ScenarioFile {

QString DefaultPath()
{
    return DataFilePath(QString::fromLatin1(FileName));
}

QString Save(const AnnouncerImage &image, const QString &path)
{
    DataFileWriter writer;
    for (int row = 1; row <= AnnouncerImage::Rows; ++row)
        AddRegisterBlock(writer, QStringLiteral("регистр-%1").arg(row - 1),
                         [&](int slot) { return image.cell(row, slot); });
    return writer.save(path);
}

QString Load(AnnouncerImage &image, const QString &path, QString *notice)
{
    return LoadRegisterFile(
        image, path,
        [](DataFileReader &reader, AnnouncerImage &loaded) {
            for (int row = 1; row <= AnnouncerImage::Rows; ++row)
                if (!ReadRegisterBlock(
                        reader, [&](int slot, qint16 code) { loaded.setCell(row, slot, code); }))
                    return false;
            return true;
        },
        PartialLoad::Discarded, notice);
}

} // namespace ScenarioFile
