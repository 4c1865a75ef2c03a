#include "controllertable.h"

#include "hextext.h"

const std::array<ControllerSlot, SlotCount> &ControllerSlots()
{
    static const std::array<ControllerSlot, SlotCount> table = [] {
        std::array<ControllerSlot, SlotCount> rows{};
        std::ranges::copy_if(NetworkTable, rows.begin(), IsLoaderSlot);
        return rows;
    }();
    return table;
}

namespace SysloadText {

QString WindowTitle()
{
    return QStringLiteral("умный дом");
}

QString ProgramTitle()
{
    return QStringLiteral("sysload");
}

QString Heading()
{
    return QStringLiteral("Программа чтения и записи ЕЕ контроллеров системы умного дома");
}

QString ReadButton()
{
    return QStringLiteral("система в файл sysload.txt");
}

QString WriteButton()
{
    return QStringLiteral("из файла sysload.txt в систему");
}

QString StatusInitial()
{
    return QStringLiteral("Статус:");
}

QString StatusReset()
{
    return StatusInitial() + QString(63, QLatin1Char(' '));
}

QString MissingFile()
{
    return QStringLiteral("Ошибка, нет готового файла");
}

QString FileName()
{
    return QStringLiteral("sysload.txt");
}

// The read run's suffixes are "  OK  " and "     ERROR"; the write run's are
// the other way round, "     OK" and "  ERROR". Both are the controllers'
// established report lines and stay as they are.
QString ReadLine(int address, int registerNumber, bool ok)
{
    return QStringLiteral("Чтение из системы адреса $") + FormatHex(address) +
           QStringLiteral("   регистра $") + FormatHex(registerNumber) +
           (ok ? QStringLiteral("  OK  ") : QStringLiteral("     ERROR"));
}

QString WriteLine(int address, int registerNumber, bool ok)
{
    return QStringLiteral("запись в систему адреса $") + FormatHex(address) +
           QStringLiteral("   регистра $") + FormatHex(registerNumber) +
           (ok ? QStringLiteral("     OK") : QStringLiteral("  ERROR"));
}

QString ErrorCount(int errorCount)
{
    return QStringLiteral("Произошло       ") + QString::number(errorCount) +
           QStringLiteral("       ошибок");
}

QString VerifyButton()
{
    return QStringLiteral("сверить систему с файлом");
}

QString QuickBox()
{
    return QStringLiteral("быстро");
}

QString StopButton()
{
    return QStringLiteral("Стоп");
}

QString TimeLeft(std::chrono::milliseconds left)
{
    const auto seconds = (left.count() + 999) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString Progress(int done, int total, int errors, std::chrono::milliseconds left)
{
    return QStringLiteral("%1 из %2 регистров, ошибок %3, осталось %4")
        .arg(done)
        .arg(total)
        .arg(errors)
        .arg(TimeLeft(left));
}

QString ReadStopped(int done, int total, int errors)
{
    return QStringLiteral("Чтение остановлено: прочитано %1 из %2 регистров (ошибок %3), "
                          "файл %4 не изменён")
        .arg(done)
        .arg(total)
        .arg(errors)
        .arg(FileName());
}

// The network now holds part of the image: the place names where to resume.
QString WriteStopped(int address, int registerNumber, int done, int total, int errors)
{
    return QStringLiteral("Запись остановлена после адреса $%1 регистра $%2: записано %3 из %4 "
                          "регистров (ошибок %5), система записана не полностью")
        .arg(FormatHex(address), FormatHex(registerNumber))
        .arg(done)
        .arg(total)
        .arg(errors);
}

QString VerifyStopped(int done, int total)
{
    return QStringLiteral("Сверка остановлена: сверено %1 из %2 регистров").arg(done).arg(total);
}

QString VerifyDone(const QString &summary)
{
    return QStringLiteral("Сверка с файлом: ") + summary;
}

QString UnreadBox()
{
    return QStringLiteral("записывать непрочитанные");
}

QString ReadSaved(const QString &kept, int unreadCount, const QString &recordName)
{
    QStringList said;
    if (!kept.isEmpty())
        said << kept;
    if (unreadCount > 0)
        said << QStringLiteral("не прочитаны %1 регистров, в файле у них прежние значения (0 без "
                               "файла); их список — в «%2»")
                    .arg(QString::number(unreadCount), recordName);
    return said.isEmpty() ? StatusReset() : StatusInitial() + u' ' + said.join(u"; ");
}

QString UnreadInFile(int count, const QStringList &lines, bool written)
{
    return QStringLiteral("В файле %1 регистров не прочитаны из системы при чтении в файл, у них "
                          "прежние значения (0 без файла):\n")
               .arg(count) +
           lines.join(u'\n') +
           (written ? QStringLiteral("\nОни записываются, как выбрано.")
                    : QStringLiteral("\nОни не записываются; чтобы записать и их, отметьте «%1» "
                                     "(--include-unread).")
                          .arg(UnreadBox()));
}

QString WriteSkipped(int count)
{
    return StatusInitial() +
           QStringLiteral(" не записаны %1 регистров, не прочитанных из системы").arg(count);
}

QString WriteNotByte(int address, int registerNumber, int byte, int value)
{
    return WriteLine(address, registerNumber, false) +
           QStringLiteral(": байт %1 = %2, а байт передаётся от 0 до 255; регистр не передан")
               .arg(byte)
               .arg(value);
}

QString RunBusy()
{
    return QStringLiteral("Не начато: идёт обмен с системой, дождитесь его конца или нажмите "
                          "«%1»")
        .arg(StopButton());
}

} // namespace SysloadText
