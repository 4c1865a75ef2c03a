#include "guardedfile.h"

#include "registertransfer.h"

void GuardedFile::Load() const
{
    if (engine->isActive()) {
        showStatus(TransferText::FileNotLoaded());
        return;
    }
    if (const QString error = load(); !error.isEmpty()) {
        showStatus(notLoaded(error));
        return;
    }
    refresh();
}

void GuardedFile::Save() const
{
    if (engine->isActive()) {
        showStatus(TransferText::FileNotSaved());
        return;
    }
    if (const QString error = save(); !error.isEmpty())
        showStatus(notSaved(error));
}
