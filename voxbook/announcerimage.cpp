#include "announcerimage.h"

#include "phrasebook.h"

bool AnnouncerImage::contains(int row, int slot)
{
    return row >= 1 && row <= Rows && slot >= 0 && slot < Slots;
}

qint16 AnnouncerImage::cell(int row, int slot) const
{
    return contains(row, slot) ? m_rows[size_t(row - 1)][size_t(slot)] : qint16(0);
}

void AnnouncerImage::setCell(int row, int slot, qint16 value)
{
    if (contains(row, slot))
        m_rows[size_t(row - 1)][size_t(slot)] = value;
}

bool ScenarioEditor::show(const QString &numberText)
{
    const std::optional<int> number = OfferedScenario(numberText);
    if (!number)
        return false;
    const ScenarioPlace place = PlaceOfScenario(*number);
    m_row = place.row;
    m_firstHalf = place.firstHalf;
    m_secondHalf = place.secondHalf;
    return true;
}

QString ScenarioEditor::slotText(int slot) const
{
    return PhraseText(m_image.cell(m_row, slot));
}

void ScenarioEditor::choose(int slot, const QString &phrase)
{
    m_image.setCell(m_row, slot, qint16(PhraseCode(phrase)));
}
