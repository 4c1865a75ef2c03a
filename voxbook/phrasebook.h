#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The announcer's phrase vocabulary and the place of each scenario in its
// registers. Plain functions: no window, no bus.

struct Phrase
{
    QString text;
    int code = 0;
};

// The 51 phrases in the order the phrase lists show them; "нет" (code 0) first.
const QList<Phrase> &Vocabulary();
// The texts of Vocabulary(), in list order.
QStringList PhraseTexts();

// Code of the phrase whose text is exactly `text` (case included); 0 for
// "нет" and for any other text.
int PhraseCode(const QString &text);
// Text of the phrase with that code; "нет" for 0 and for a code that is no phrase.
QString PhraseText(int code);

// The 31 scenario numbers as the number list offers them: E0..F7, F9..FF.
// F8 is no scenario: its row 17 is filed and transferred but never shown.
QStringList ScenarioNumbers();

// Where a scenario lives: its register image row (1..24) and which slots
// belong to it. Scenarios E0..EF share rows 1..8, four phrases each (even
// numbers slots 0..3, odd ones 4..7); F0..FF have a row of eight phrases.
struct ScenarioPlace
{
    int row = 1;
    bool firstHalf = true;  // slots 0..3
    bool secondHalf = true; // slots 4..7
};
ScenarioPlace PlaceOfScenario(int number);

// The value of an offered scenario number text (blanks around it ignored);
// empty for any other text (F8, lower case, values beyond FF, no hex at all).
std::optional<int> OfferedScenario(const QString &text);
