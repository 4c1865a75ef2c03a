#include "systemerror.h"

#include <cerrno>
#include <utility>

namespace {

// The error numbers a file, a folder or a serial device gives in the field.
const std::pair<int, const char16_t *> ErrorTexts[] = {
    {ENOSPC, u"на диске нет места"},
#ifdef EDQUOT
    {EDQUOT, u"исчерпана дисковая квота"},
#endif
    {EFBIG, u"файл больше, чем позволяет система"},
    {EACCES, u"нет прав доступа"},
    {EPERM, u"операция не разрешена"},
    {ENOENT, u"такого файла или папки нет"},
    {EISDIR, u"это папка, а не файл"},
    {ENOTDIR, u"в пути стоит файл, а не папка"},
    {EROFS, u"диск только для чтения"},
    {EIO, u"ошибка ввода-вывода"},
    {ENOTTY, u"устройство не поддерживает эту операцию"},
    {EBUSY, u"устройство или ресурс заняты"},
#ifdef ETXTBSY
    {ETXTBSY, u"файл занят"},
#endif
    {ENAMETOOLONG, u"слишком длинное имя файла"},
    {EMFILE, u"открыто слишком много файлов"},
    {ENFILE, u"в системе открыто слишком много файлов"},
    {EEXIST, u"файл уже существует"},
    {ENXIO, u"нет такого устройства"},
    {ENODEV, u"нет такого устройства"},
    {EAGAIN, u"ресурс временно недоступен"},
    {EINVAL, u"недопустимый параметр"},
#ifdef ELOOP
    {ELOOP, u"слишком много символических ссылок"},
#endif
    {EINTR, u"операция прервана"},
};

} // namespace

QString SystemReason(const QString &systemText)
{
    for (const auto &[error, text] : ErrorTexts)
        if (systemText.compare(qt_error_string(error), Qt::CaseInsensitive) == 0)
            return QString::fromUtf16(text);
    // The library's own texts, where it had no error number to give.
    if (systemText.isEmpty() || systemText == u"Unknown error")
        return QStringLiteral("причина неизвестна");
    if (systemText.startsWith(u"Existing file ") && systemText.endsWith(u" is not writable"))
        return QStringLiteral("файл недоступен для записи");
    if (systemText == u"Filename refers to a directory")
        return QStringLiteral("это папка, а не файл");
    return systemText;
}
