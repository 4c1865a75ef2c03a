#include "indicatorfile.h"

#include "datafile.h"
#include "hextext.h"
#include "indicatorimage.h"

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
        for (int reg = 0; reg < IndicatorImage::Registers; ++reg) {
            writer.addText(QStringLiteral("регистр-%1").arg(reg));
            for (int b = 0; b < IndicatorImage::Bytes; ++b)
                writer.addNumber(images.indicator(n).cell(reg, b));
        }
    }
    return writer.save(path);
}

QString Load(IndicatorImages &images, const QString &path)
{
    DataFileReader reader;
    if (!reader.open(path))
        return reader.error();
    IndicatorImages loaded;
    for (int n = 1; n <= IndicatorImages::Count; ++n) {
        if (!reader.skipItem())
            return reader.error();
        for (int reg = 0; reg < IndicatorImage::Registers; ++reg) {
            if (!reader.skipItem())
                return reader.error();
            for (int b = 0; b < IndicatorImage::Bytes; ++b) {
                const std::optional<qint16> value = reader.readNumber();
                if (!value)
                    return reader.error();
                loaded.indicator(n).cell(reg, b) = *value;
            }
        }
    }
    images = loaded;
    return QString();
}

} // namespace IndicatorFile
