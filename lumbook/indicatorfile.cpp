#include "indicatorfile.h"

#include "datafile.h"
#include "hextext.h"
#include "indicatorimage.h"
#include "registerblocks.h"

namespace IndicatorFile {

QString DefaultPath()
{
    return DataFilePath(QString::fromLatin1(FileName));
}

QString Save(const IndicatorImages &images, const QString &path)
{
    DataFileWriter writer;
    for (int n = 1; n <= IndicatorImages::Count; ++n) {
        writer.addText(QStringLiteral("Адрес индикатора -") + FormatHex(IndicatorAddress(n)));
        const IndicatorImage &image = images.indicator(n);
        for (int reg = 0; reg < IndicatorImage::Registers; ++reg)
            AddRegisterBlock(writer, QStringLiteral("регистр-%1").arg(reg),
                             [&](int b) { return image.cell(reg, b); });
    }
    return writer.save(path);
}

QString Load(IndicatorImages &images, const QString &path, QString *notice)
{
    return LoadRegisterFile(
        images, path,
        [](DataFileReader &reader, IndicatorImages &loaded) {
            for (int n = 1; n <= IndicatorImages::Count; ++n) {
                if (!reader.skipItem()) // the address label
                    return false;
                IndicatorImage &image = loaded.indicator(n);
                for (int reg = 0; reg < IndicatorImage::Registers; ++reg)
                    if (!ReadRegisterBlock(
                            reader, [&](int b, qint16 value) { image.cell(reg, b) = value; }))
                        return false;
            }
            return true;
        },
        PartialLoad::Kept, notice);
}

} // namespace IndicatorFile
