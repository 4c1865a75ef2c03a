// The item reader of the data files and the three loaders on arbitrary file
// contents. The first byte chooses the reader: items one by one (the bits say
// which are taken as numbers), the announcer's scenario file, the indicator
// file or the system image file; the rest is the file. A loader that fails
// must leave what it loads into as it was (the scenario and indicator files)
// and name the file; one that succeeds must give back what it read when its
// own save is loaded again.
#include "announcerimage.h"
#include "datafile.h"
#include "fuzzinput.h"
#include "indicatorfile.h"
#include "indicatorimage.h"
#include "scenariofile.h"
#include "systemimage.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

const QTemporaryDir &Folder()
{
    static const QTemporaryDir dir;
    return dir;
}

void ReadItems(int pattern, const QByteArray &contents)
{
    DataFileReader reader;
    reader.setContents(contents, QStringLiteral("umd_fuzz.txt"));
    int line = reader.line();
    for (int i = 0;; ++i) {
        const int taken = reader.itemsTaken();
        const bool ok =
            (pattern >> (i % 6)) & 1 ? reader.readNumber().has_value() : reader.skipItem();
        // One item per call on success, none or one on failure, lines only
        // forward, an error exactly on failure.
        FUZZ_CHECK(reader.itemsTaken() == taken + 1 || (!ok && reader.itemsTaken() == taken));
        FUZZ_CHECK(reader.line() >= line);
        line = reader.line();
        FUZZ_CHECK(ok == reader.error().isEmpty());
        if (!ok) {
            FUZZ_CHECK(reader.error().contains(QStringLiteral("umd_fuzz.txt")));
            return;
        }
    }
}

// One of the tools' file loaders on the contents, into an image marked with
// values of its own: a failure names the file and, from a loader that takes
// all or nothing, leaves the mark whole; a success is what the tool's own
// save gives back on loading again.
template <typename Image>
void LoadFile(const char *fileName, QString (*load)(Image &, const QString &),
              QString (*save)(const Image &, const QString &), const Image &marked,
              bool allOrNothing, const QByteArray &contents)
{
    const QString path = Folder().filePath(QString::fromLatin1(fileName));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(contents) == contents.size());
    file.close();
    Image image = marked;
    const QString error = load(image, path);
    if (!error.isEmpty()) {
        FUZZ_CHECK(!allOrNothing || image == marked);
        FUZZ_CHECK(error.contains(QString::fromLatin1(fileName)));
        return;
    }
    const QString again = Folder().filePath(QStringLiteral("again.txt"));
    FUZZ_CHECK(save(image, again).isEmpty());
    Image reloaded;
    FUZZ_CHECK(load(reloaded, again).isEmpty());
    FUZZ_CHECK(reloaded == image);
}

AnnouncerImage MarkedScenarios()
{
    AnnouncerImage image;
    for (int row = 1; row <= AnnouncerImage::Rows; ++row)
        for (int slot = 0; slot < AnnouncerImage::Slots; ++slot)
            image.setCell(row, slot, static_cast<qint16>(row * 10 + slot));
    return image;
}

IndicatorImages MarkedIndicators()
{
    IndicatorImages images;
    for (int n = 1; n <= IndicatorImages::Count; ++n)
        for (int reg = 0; reg < IndicatorImage::Registers; ++reg)
            for (int b = 0; b < IndicatorImage::Bytes; ++b)
                images.indicator(n).cell(reg, b) = static_cast<qint16>(n * 100 + reg * 10 + b);
    return images;
}

} // namespace

void FuzzOne(FuzzInput &in)
{
    const int choice = in.byte();
    const QByteArray contents = in.rest();
    switch (choice % 4) {
    case 0:
        ReadItems(choice >> 2, contents);
        break;
    case 1:
        LoadFile(ScenarioFile::FileName, &ScenarioFile::Load, &ScenarioFile::Save,
                 MarkedScenarios(), true, contents);
        break;
    case 2:
        LoadFile(IndicatorFile::FileName, &IndicatorFile::Load, &IndicatorFile::Save,
                 MarkedIndicators(), true, contents);
        break;
    default:
        LoadFile("sysload.txt", &LoadImageFile, &SaveImageFile, SystemImage(), false, contents);
        break;
    }
}
