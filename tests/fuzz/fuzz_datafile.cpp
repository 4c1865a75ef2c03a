// The three loaders of the data files on arbitrary file contents. The first
// byte chooses the loader: the announcer's scenario file, the indicator file
// or the system image file; the rest is the file. A loader that fails must
// leave what it loads into as it was (the scenario file, whose load takes
// all or nothing) and name the file; one that succeeds must give back what
// it read when its own save is loaded again.
#include "announcerimage.h"
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

// One of the tools' file loaders on the contents, into a fresh image: a
// failure names the file and, from a loader that takes all or nothing, leaves
// the image fresh; a success is what the tool's own save gives back on
// loading again.
template <typename Image>
void LoadFile(const char *fileName, QString (*load)(Image &, const QString &, QString *),
              QString (*save)(const Image &, const QString &), bool allOrNothing,
              const QByteArray &contents)
{
    const QString path = Folder().filePath(QString::fromLatin1(fileName));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(contents) == contents.size());
    file.close();
    Image image;
    const QString error = load(image, path, nullptr);
    if (!error.isEmpty()) {
        FUZZ_CHECK(!allOrNothing || image == Image());
        FUZZ_CHECK(error.contains(QString::fromLatin1(fileName)));
        return;
    }
    const QString again = Folder().filePath(QStringLiteral("again.txt"));
    FUZZ_CHECK(save(image, again).isEmpty());
    Image reloaded;
    FUZZ_CHECK(load(reloaded, again, nullptr).isEmpty());
    FUZZ_CHECK(reloaded == image);
}

} // namespace

void FuzzOne(FuzzInput &in)
{
    const int choice = in.byte();
    const QByteArray contents = in.rest();
    switch (choice % 3) {
    case 0:
        LoadFile(ScenarioFile::FileName, &ScenarioFile::Load, &ScenarioFile::Save, true, contents);
        break;
    case 1:
        LoadFile(IndicatorFile::FileName, &IndicatorFile::Load, &IndicatorFile::Save, false,
                 contents);
        break;
    default:
        LoadFile("sysload.txt", &LoadImageFile, &SaveImageFile, false, contents);
        break;
    }
}
