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

QString WriteFile(const char *name, const QByteArray &contents)
{
    const QString path = Folder().filePath(QString::fromLatin1(name));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(contents) == contents.size());
    return path;
}

void ReadItems(int pattern, const QByteArray &contents)
{
    DataFileReader reader;
    reader.setContents(contents, QStringLiteral("umd_fuzz.txt"));
    int line = reader.line();
    for (int i = 0;; ++i) {
        const int taken = reader.itemsTaken();
        bool ok = false;
        if ((pattern >> (i % 6)) & 1) {
            const std::optional<qint16> value = reader.readNumber();
            ok = value.has_value();
        } else {
            ok = reader.skipItem();
        }
        // One item at most per call, lines only forward, an error exactly on failure.
        FUZZ_CHECK(reader.itemsTaken() == taken || reader.itemsTaken() == taken + 1);
        FUZZ_CHECK(reader.line() >= line);
        line = reader.line();
        FUZZ_CHECK(ok == reader.error().isEmpty());
        if (!ok) {
            FUZZ_CHECK(reader.error().contains(QStringLiteral("umd_fuzz.txt")));
            break;
        }
        FUZZ_CHECK(reader.itemsTaken() == taken + 1);
    }
}

AnnouncerImage MarkedScenarios()
{
    AnnouncerImage image;
    for (int row = 1; row <= AnnouncerImage::Rows; ++row)
        for (int slot = 0; slot < AnnouncerImage::Slots; ++slot)
            image.setCell(row, slot, static_cast<qint16>(row * 10 + slot));
    return image;
}

void LoadScenarios(const QByteArray &contents)
{
    const QString path = WriteFile(ScenarioFile::FileName, contents);
    AnnouncerImage image = MarkedScenarios();
    const QString error = ScenarioFile::Load(image, path);
    if (!error.isEmpty()) {
        FUZZ_CHECK(image == MarkedScenarios()); // all or nothing
        FUZZ_CHECK(error.contains(QString::fromLatin1(ScenarioFile::FileName)));
        return;
    }
    const QString again = Folder().filePath(QStringLiteral("again_9C.txt"));
    FUZZ_CHECK(ScenarioFile::Save(image, again).isEmpty());
    AnnouncerImage reloaded;
    FUZZ_CHECK(ScenarioFile::Load(reloaded, again).isEmpty());
    FUZZ_CHECK(reloaded == image);
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

void LoadIndicators(const QByteArray &contents)
{
    const QString path = WriteFile(IndicatorFile::FileName, contents);
    IndicatorImages images = MarkedIndicators();
    const QString error = IndicatorFile::Load(images, path);
    if (!error.isEmpty()) {
        FUZZ_CHECK(images == MarkedIndicators()); // all or nothing
        FUZZ_CHECK(error.contains(QString::fromLatin1(IndicatorFile::FileName)));
        return;
    }
    const QString again = Folder().filePath(QStringLiteral("again_8x.txt"));
    FUZZ_CHECK(IndicatorFile::Save(images, again).isEmpty());
    IndicatorImages reloaded;
    FUZZ_CHECK(IndicatorFile::Load(reloaded, again).isEmpty());
    FUZZ_CHECK(reloaded == images);
}

void LoadSystemImage(const QByteArray &contents)
{
    DataFileReader reader;
    reader.setContents(contents, QStringLiteral("sysload.txt"));
    SystemImage image;
    const QString error = LoadImageFile(image, reader);
    if (!error.isEmpty()) {
        FUZZ_CHECK(error.contains(QStringLiteral("sysload.txt")));
        return;
    }
    const std::optional<QByteArray> saved = ImageFileContents(image).encoded();
    FUZZ_CHECK(saved.has_value());
    DataFileReader again;
    again.setContents(*saved, QStringLiteral("sysload.txt"));
    SystemImage reloaded;
    FUZZ_CHECK(LoadImageFile(reloaded, again).isEmpty());
    FUZZ_CHECK(reloaded == image);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    EnsureApplication();
    FuzzInput in(data, size);
    const int choice = in.byte();
    const QByteArray contents = in.rest();
    switch (choice % 4) {
    case 0:
        ReadItems(choice >> 2, contents);
        break;
    case 1:
        LoadScenarios(contents);
        break;
    case 2:
        LoadIndicators(contents);
        break;
    default:
        LoadSystemImage(contents);
        break;
    }
    return 0;
}
