#pragma once

#include "networktable.h"

#include <QString>
#include <QtGlobal>

#include <array>

// The announcer's 24 registers as voxbook holds them: rows 1..24 of 8 slots,
// row r holding register r - 1. Each slot is a phrase code, held as a 16-bit
// signed integer as every byte of the tools is; a hand-edited file may put
// any such value there.
class AnnouncerImage
{
public:
    static constexpr int Rows = FindController(AnnouncerAddress)->registerCount;
    static constexpr int Slots = 8;

    // Row 1..24, slot 0..7; 0 outside the image.
    qint16 cell(int row, int slot) const;
    void setCell(int row, int slot, qint16 value);

    bool operator==(const AnnouncerImage &) const = default;

private:
    static bool contains(int row, int slot);
    std::array<std::array<qint16, Slots>, Rows> m_rows{};
};

// The editor's view of the image: the scenario shown, its row and the slots
// that belong to it. The number list and the eight phrase lists of the window
// show what this says.
class ScenarioEditor
{
public:
    explicit ScenarioEditor(AnnouncerImage &image) : m_image(image) {}

    // Shows the scenario whose number is `numberText`. False, and the view
    // left as it was, when the text is not one of the offered numbers.
    bool show(const QString &numberText);

    int currentRow() const { return m_row; }
    bool slotEnabled(int slot) const { return slot < 4 ? m_firstHalf : m_secondHalf; }
    // The phrase text of a slot of the current row ("нет" for a code that is
    // no phrase; the code itself stays in the image).
    QString slotText(int slot) const;
    // A phrase chosen in the list of a slot: its code goes into the current row.
    void choose(int slot, const QString &phrase);

private:
    AnnouncerImage &m_image;
    int m_row = 1;
    bool m_firstHalf = true;
    bool m_secondHalf = false;
};
