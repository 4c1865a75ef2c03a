#pragma once

#include <QString>

class AnnouncerImage;

// The announcer's scenarios on disk: 24 blocks of nine lines, a quoted label
// "регистр-N" and the eight codes of register N, in Windows-1251 with CR LF.
namespace ScenarioFile {

inline constexpr const char *FileName = "umd_9C.txt";

// Where the file lives: beside the executable.
QString DefaultPath();

// Writes the whole image. Empty on success, else a reason naming the file;
// a failed save leaves the previous file whole.
QString Save(const AnnouncerImage &image, const QString &path);

// Reads the whole image, labels passed over, values taken by position alone.
// All or nothing: on any failure the image is left as it was and the reason
// names the file and the item where reading stopped. After a success
// `notice` says where the file does not look as expected, or is empty.
QString Load(AnnouncerImage &image, const QString &path, QString *notice = nullptr);

} // namespace ScenarioFile
