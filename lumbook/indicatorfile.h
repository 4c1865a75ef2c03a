#pragma once

#include <QString>

class IndicatorImages;

// The settings of all 16 indicators on disk: for each indicator 80..8F a
// quoted label "Адрес индикатора -8x", then for each of its five registers a
// quoted label "регистр-r" and the eight bytes in decimal; 736 lines in
// Windows-1251 with CR LF.
namespace IndicatorFile {

inline constexpr const char *FileName = "umd_8x.txt";

// Where the file lives: beside the executable.
QString DefaultPath();

// Writes all 16 images. Empty on success, else a reason naming the file; a
// failed save leaves the previous file whole.
QString Save(const IndicatorImages &images, const QString &path);

// Reads all 16 images, labels passed over, values taken by position alone.
// On a failure the values read before it are kept, the rest are left as
// they were, and the reason names the file and the item where reading
// stopped. After a success `notice` says where the file does not look as
// expected, or is empty.
QString Load(IndicatorImages &images, const QString &path, QString *notice = nullptr);

} // namespace IndicatorFile
