#include "safefile.h"

#include "systemerror.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// The bytes written so far are on the disk, not only in the system's cache:
// only then may the old file go.
bool SyncToDisk(QFileDevice &file)
{
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

QString Reason(const QFileDevice &file)
{
    return SystemReason(file.errorString());
}

// A device may take part of a write without an error (a disk that fills
// half-way); only the write of the rest then fails, with the reason.
bool WriteAll(QFileDevice &file, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

QString NotPlainFile()
{
    return QStringLiteral("это не обычный файл (папка, канал или устройство)");
}

QString TooLarge()
{
    return QStringLiteral("файл больше 10 МБ, это не файл данных");
}

// The folders where copies are kept that the file's own folder cannot take:
// the user's data folder, else (a user with no home of their own) the
// system's temporary folder.
QStringList KeptFolders()
{
    return {QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                .filePath(QStringLiteral("umd-tools/прежние файлы")),
            QDir(QDir::tempPath()).filePath(QStringLiteral("umd-tools прежние файлы"))};
}

// The first of the kept folders that exists or can be made, and takes files.
QString KeptFolder()
{
    const QStringList folders = KeptFolders();
    for (const QString &folder : folders)
        if (QDir().mkpath(folder) && QFileInfo(folder).isWritable())
            return folder;
    return folders.first();
}

// A new file renamed over the old one once its bytes are on the disk.
QString WriteAtomically(const QString &path, const QByteArray &bytes)
{
    // Unbuffered: a write the disk refuses fails at once with its reason,
    // instead of in a final flush whose failure the commit does not see.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Reason(file);
    if (!WriteAll(file, bytes) || !SyncToDisk(file)) {
        const QString reason = Reason(file);
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return Reason(file);
    return QString();
}

// The file's contents from its start replaced by `bytes`, without first
// cutting it to nothing: the disk space the old contents hold stays the
// file's, so putting them back cannot find the disk full.
QString Overwrite(QFile &file, const QByteArray &bytes)
{
    if (!file.seek(0) || !WriteAll(file, bytes) || !file.resize(bytes.size()) || !SyncToDisk(file))
        return Reason(file);
    return QString();
}

QString WriteInPlace(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.size() > MaxDataFileSize)
        return TooLarge();
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return Reason(file);
    const QByteArray old = file.readAll();
    // A copy left by an interrupted write is the last whole file: it stays.
    const QString kept = KeptCopyPath(path);
    const bool keptBefore = QFileInfo::exists(kept);
    if (!keptBefore) {
        if (const QString why = WriteAtomically(kept, old); !why.isEmpty())
            return QStringLiteral("папка не принимает новых файлов, а прежнее содержимое "
                                  "некуда сохранить (%1: %2)")
                .arg(kept, why);
    }
    const QString why = Overwrite(file, bytes);
    if (why.isEmpty()) {
        QFile::remove(kept);
        return QString();
    }
    if (!keptBefore && Overwrite(file, old).isEmpty()) {
        QFile::remove(kept);
        return why + QStringLiteral("; прежнее содержимое восстановлено");
    }
    return why + QStringLiteral("; прежнее содержимое сохранено в ") + kept;
}

} // namespace

std::optional<QByteArray> ReadDataFile(const QString &path, QString *reason)
{
    const QFileInfo info(path);
    if (info.isDir())
        *reason = QStringLiteral("это папка, а не файл");
    else if (!info.exists())
        *reason = QStringLiteral("такого файла нет");
    else if (!info.isFile())
        *reason = NotPlainFile();
    else if (info.size() > MaxDataFileSize)
        *reason = TooLarge();
    if (!reason->isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = Reason(file);
        return std::nullopt;
    }
    // The size may have grown since it was looked at: never more than the limit.
    QByteArray bytes = file.read(MaxDataFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        *reason = Reason(file);
    else if (bytes.size() > MaxDataFileSize)
        *reason = TooLarge();
    if (!reason->isEmpty())
        return std::nullopt;
    return bytes;
}

QString WriteFileSafely(const QString &path, const QByteArray &bytes)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return target.isDir() ? QStringLiteral("это папка, а не файл") : NotPlainFile();
    if (target.isFile() && target.isWritable() && !QFileInfo(target.absolutePath()).isWritable())
        return WriteInPlace(path, bytes);
    return WriteAtomically(path, bytes);
}

QString KeptCopyPath(const QString &path)
{
    // Two files of the same name in different folders keep apart copies.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QString name =
        QFileInfo(path).fileName() + u' ' +
        QString::fromLatin1(
            QCryptographicHash::hash(absolute.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
    for (const QString &folder : KeptFolders())
        if (const QString copy = QDir(folder).filePath(name); QFileInfo::exists(copy))
            return copy;
    return QDir(KeptFolder()).filePath(name);
}

std::optional<QString> KeepCopyOf(const QString &path, const QString &why, QString *reason)
{
    const QFileInfo info(path);
    QString folder = info.absolutePath();
    if (!QFileInfo(folder).isWritable())
        folder = KeptFolder();
    const QString name =
        QStringLiteral("%1 %2 %3.%4")
            .arg(info.completeBaseName(), why,
                 QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")),
                 info.suffix());
    const QString copy = QDir(folder).filePath(name);
    const std::optional<QByteArray> bytes = ReadDataFile(path, reason);
    if (!bytes)
        return std::nullopt;
    if (QFileInfo::exists(copy)) {
        *reason = QStringLiteral("%1 уже есть").arg(copy);
        return std::nullopt;
    }
    if (*reason = WriteAtomically(copy, *bytes); !reason->isEmpty())
        return std::nullopt;
    return copy;
}

std::optional<QString> KeepUnreadFile(const QString &path, QString *refusal)
{
    // A folder, a pipe or a device is there too: KeepCopyOf() refuses it, and so the save.
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    QString why;
    const std::optional<QString> copy = KeepCopyOf(path, QStringLiteral("непрочитанный"), &why);
    if (!copy) {
        *refusal = QStringLiteral("Файл %1 не записан: прежний файл не был прочитан, а сохранить "
                                  "его копию не удалось: %2")
                       .arg(info.fileName(), why);
        return std::nullopt;
    }
    return QStringLiteral("прежний файл %1 не был прочитан и сохранён как «%2»; файл записан")
        .arg(info.fileName(), QFileInfo(*copy).fileName());
}
