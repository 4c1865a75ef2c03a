#include "guardedfile.h"

#include "registertransfer.h"
#include "safefile.h"

#include <QFileInfo>

namespace {

QString UnreadKept(const QString &fileName, const QString &copy)
{
    return QStringLiteral("прежний файл %1 не был прочитан и сохранён как «%2»; файл записан")
        .arg(fileName, QFileInfo(copy).fileName());
}

QString UnreadNotKept(const QString &fileName, const QString &why)
{
    return QStringLiteral("Файл %1 не записан: прежний файл не был прочитан, а сохранить его "
                          "копию не удалось: %2")
        .arg(fileName, why);
}

} // namespace

void GuardedFile::Load()
{
    if (m_setup.engine->isActive()) {
        m_setup.showStatus(TransferText::FileNotLoaded());
        return;
    }
    QString notice;
    if (const QString error = m_setup.load(&notice); !error.isEmpty()) {
        m_unread = true;
        fail(m_setup.notLoaded(error));
        return;
    }
    m_unread = false;
    succeed(notice);
    m_setup.refresh();
}

void GuardedFile::Save()
{
    if (m_setup.engine->isActive()) {
        m_setup.showStatus(TransferText::FileNotSaved());
        return;
    }
    // What did not load may still be the installer's only copy of it.
    const QString fileName = QFileInfo(m_setup.path).fileName();
    QString kept;
    if (m_unread && QFileInfo::exists(m_setup.path)) {
        QString why;
        const std::optional<QString> copy =
            KeepCopyOf(m_setup.path, QStringLiteral("непрочитанный"), &why);
        if (!copy) {
            fail(m_setup.notSaved(UnreadNotKept(fileName, why)));
            return;
        }
        kept = *copy;
    }
    if (const QString error = m_setup.save(); !error.isEmpty()) {
        fail(m_setup.notSaved(error));
        return;
    }
    m_unread = false;
    succeed(kept.isEmpty() ? QString() : UnreadKept(fileName, kept));
}

void GuardedFile::fail(const QString &text)
{
    m_failure = text;
    m_setup.showStatus(text);
}

void GuardedFile::succeed(const QString &text)
{
    if (!text.isEmpty())
        m_setup.showStatus(m_setup.blankStatus + u' ' + text);
    else if (!m_failure.isEmpty() && m_setup.status() == m_failure)
        m_setup.showStatus(m_setup.blankStatus);
    m_failure.clear();
}
