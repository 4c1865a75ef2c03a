#pragma once

#include "busframe.h"

#include <QString>
#include <QStringView>

#include <array>

// Every text the bus tester shows, in one place: captions, list entries and
// the status line texts, those of an exchange's verdicts among them.
namespace ProbeTexts {

inline constexpr QStringView WindowTitle = u"Программа тестирования платок умного дома V.1";

inline constexpr QStringView ControllerHeading = u"Название платы";
inline constexpr QStringView CommandHeading = u"Команда";
inline constexpr QStringView CellHeading = u"Адрес памяти";
inline constexpr QStringView DataHeading = u"-------Данные в памяти--------";
inline constexpr QStringView ZoneHeading = u"зона звучания";
inline constexpr QStringView StatusHeading = u"статус";
inline constexpr QStringView SendButton = u"Подать команду";

inline constexpr QStringView StatusIdle = u"Статус:";
// What the refresh two seconds after an exchange leaves in the status line.
inline QString StatusCleared()
{
    return StatusIdle.toString() + QString(66, u' ');
}

// The status line of a verdict, with its exact blanks.
inline QString VerdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::NoReply:
        return QStringLiteral("Статус:  нет ответа");
    case Verdict::ForeignTraffic:
        return QStringLiteral("Статус: запрос другой платке");
    case Verdict::UnknownReplyCode:
        return QStringLiteral("Статус: неизвестная ответная команда");
    case Verdict::ChecksumMismatch:
        return QStringLiteral("Статус: контрольная сумма не совпала ");
    case Verdict::Ok:
        return QStringLiteral("Статус:  ОК");
    }
    return {};
}

// The status line when the tester itself, not the controller, stops a send.
inline QString StatusEmptyField(const QString &fieldTitle)
{
    return QStringLiteral("Статус: поле «%1» пусто").arg(fieldTitle);
}
inline QString StatusFieldOutOfRange(const QString &fieldTitle)
{
    return QStringLiteral("Статус: в поле «%1» не байт 00..FF").arg(fieldTitle);
}
inline QString StatusNotComposed()
{
    return QStringLiteral("Статус: запрос не составлен: значение не байт");
}
inline QString StatusBusBusy()
{
    return QStringLiteral("Статус: шина занята другим обменом");
}
inline QString StatusPortProblem(const QString &why)
{
    return QStringLiteral("Статус: %1").arg(why);
}
// A press while the port is not open: nothing goes on the wire, and the
// press answers even when the port's problem is already on the status line.
inline QString StatusNotSent(const QString &why)
{
    return QStringLiteral("Статус: команда не подана: %1").arg(why);
}

} // namespace ProbeTexts
