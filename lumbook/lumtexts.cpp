#include "lumtexts.h"

#include "hextext.h"
#include "networktable.h"

namespace LumText {

QString Caption()
{
    return QStringLiteral("Программирование часового индикатора умного дома");
}
QString AddressLabel()
{
    return QStringLiteral("Адрес индикатора");
}
QString CorrectionLabel()
{
    return QStringLiteral("Часовая коррекция");
}
QString IlluminationLabel()
{
    return QStringLiteral("Константа освещенности");
}
QString TaskLabel()
{
    return QStringLiteral("Выбор задачи");
}
QString KindLabel()
{
    return QStringLiteral("Действие");
}
QString AddressOrNumberLabel()
{
    return QStringLiteral("Адрес или номер");
}
QString InputLabel()
{
    return QStringLiteral("Номер входа");
}
QString DelayLabel()
{
    return QStringLiteral("Время задержки, сек");
}
QString SaveButton()
{
    return QStringLiteral("Записать в файл umd_8x.txt");
}
QString LoadButton()
{
    return QStringLiteral("Читать файл umd_8x.txt");
}
QString WriteButton()
{
    return QStringLiteral("Запись в контр.");
}
QString ReadButton()
{
    return QStringLiteral("Читать из контр.");
}
QString CheckButton()
{
    return QStringLiteral("Проверка задачи");
}
QString Status()
{
    return QStringLiteral("Статус:");
}

QString NotIndicatorAddress(const QString &text, const QString &kept)
{
    return QStringLiteral("Статус: адрес индикатора «%1» не из списка %2..%3; выбран %4")
        .arg(text, FormatHex(IndicatorAddress(1)), FormatHex(IndicatorAddress(IndicatorCount)),
             kept);
}
QString NotInList(const QString &label, const QString &text, const QString &range)
{
    return QStringLiteral("Статус: «%1» в списке «%2» не число %3; ничего не изменено")
        .arg(text, label, range);
}

QString FileMissing(const QString &fileName)
{
    return QStringLiteral("файла %1 нет, все индикаторы нулевые").arg(fileName);
}
QString FileUnreadAtStart(const QString &reason)
{
    return QStringLiteral("%1; значения до этого места прочитаны, остальные нулевые").arg(reason);
}
QString FileNotLoaded(const QString &reason)
{
    return QStringLiteral("Статус: %1; значения до этого места прочитаны, остальные не изменены")
        .arg(reason);
}
QString FileNotSaved(const QString &reason)
{
    return QStringLiteral("Статус: %1").arg(reason);
}
QString TaskCheckNotSent(const QString &reason)
{
    return QStringLiteral("Статус: проверка задачи не отправлена: %1").arg(reason);
}
QString AtStart(const QStringList &problems)
{
    return Status() + QLatin1Char(' ') + problems.join(QStringLiteral("; "));
}

} // namespace LumText
