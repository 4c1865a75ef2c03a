#include "voxtexts.h"

namespace VoxText {

QString Caption()
{
    return QStringLiteral("Программирование говорилки  9С");
}
QString NumberLabel()
{
    return QStringLiteral("Номер сценария");
}
QString PhrasesLabel()
{
    return QStringLiteral("Фразы в сценарии");
}
QString LoadButton()
{
    return QStringLiteral("читать файл umd_9C.txt");
}
QString SaveButton()
{
    return QStringLiteral("запись в файл umd_9C.txt");
}
QString ReadButton()
{
    return QStringLiteral("читать из контр.");
}
QString WriteButton()
{
    return QStringLiteral("запись в контр.");
}
QString TestButton()
{
    return QStringLiteral("Проверка сценария");
}
QString Status()
{
    return QStringLiteral("Статус:");
}

QString TestPoll(int poll)
{
    return QStringLiteral("Статус: OK--%1").arg(poll);
}
QString TestNoAnswer(int poll)
{
    return QStringLiteral("Статус: нет ответа--%1").arg(poll);
}
QString TestUnanswered(int missing, int judged)
{
    return QStringLiteral("Статус: нет ответа на %1 из %2 запросов к контроллеру 9C")
        .arg(missing)
        .arg(judged);
}
QString TestDone()
{
    return Status() + QString(32, QLatin1Char(' '));
}
QString TestNotStarted(const QString &reason)
{
    return QStringLiteral("Статус: проверка сценария не начата: %1").arg(reason);
}
QString NumberNotOffered(const QString &text)
{
    return QStringLiteral("Статус: номер сценария «%1» не из списка E0..F7, F9..FF").arg(text);
}
QString NumberNotSendable(const QString &text)
{
    return QStringLiteral("Статус: номер сценария «%1» не отправить: нужно число от 0 до FF")
        .arg(text);
}

QString FileNotLoaded(const QString &reason)
{
    return QStringLiteral("Статус: %1; сценарии не изменены").arg(reason);
}
QString FileNotSaved(const QString &reason)
{
    return QStringLiteral("Статус: %1").arg(reason);
}
QString PortNotOpen(const QString &reason)
{
    return QStringLiteral("Статус: %1").arg(reason);
}

} // namespace VoxText
