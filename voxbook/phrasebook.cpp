#include "phrasebook.h"

#include "hextext.h"

#include <algorithm>

namespace {

// The vocabulary of the announcer's sound memory. "сказать время" stands
// before "сказать режимы работы" although its code is higher; the rest follow
// their codes upwards.
QList<Phrase> MakeVocabulary()
{
    QList<Phrase> phrases{
        {QStringLiteral("нет"), 0x00},
        {QStringLiteral("сказать время"), 0x0F},
        {QStringLiteral("сказать режимы работы"), 0x0E},
        {QStringLiteral("температура"), 0x34},
        {QStringLiteral("на улице"), 0x35},
        {QStringLiteral("на кухне"), 0x36},
        {QStringLiteral("режимы работы"), 0x37},
        {QStringLiteral("сон"), 0x38},
        {QStringLiteral("темно"), 0x39},
        {QStringLiteral("светло"), 0x3A},
        {QStringLiteral("охрана"), 0x3B},
        {QStringLiteral("просыпайся хватит спать"), 0x3C},
        {QStringLiteral("к нам пришли"), 0x3D},
        {QStringLiteral("дверь"), 0x3E},
        {QStringLiteral("активность"), 0x3F},
        {QStringLiteral("отключен"), 0x42},
        {QStringLiteral("открыто"), 0x43},
        {QStringLiteral("закрыто"), 0x44},
        {QStringLiteral("чайник ставил"), 0x45},
        {QStringLiteral("калитка"), 0x50},
        {QStringLiteral("гаража"), 0x51},
        {QStringLiteral("окно"), 0x53},
        {QStringLiteral("а ты укололся"), 0x54},
        {QStringLiteral("на горе"), 0x55},
        {QStringLiteral("чердака"), 0x56},
        {QStringLiteral("телефон звонит"), 0x57},
        {QStringLiteral("маленькой"), 0x59},
        {QStringLiteral("комнаты"), 0x5A},
        {QStringLiteral("большой"), 0x5B},
        {QStringLiteral("спальни"), 0x5C},
        {QStringLiteral("мастерской"), 0x5D},
        {QStringLiteral("огорода"), 0x61},
        {QStringLiteral("ВНИМАНИЕ"), 0x70},
        {QStringLiteral("К НАМ ПРИШЛИ"), 0x71},
        {QStringLiteral("НЕЧЕГО ЗДЕСЬ ХОДИТЬ"), 0x72},
    };
    // Temperatures measured by board k (0..7) on its inputs 9 and 10.
    for (const auto &[input, base] : {std::pair{9, 0xA0}, std::pair{10, 0xB0}})
        for (int k = 0; k < 8; ++k)
            phrases.append(
                {QStringLiteral("температура контр. %1 на входе in-%2").arg(k).arg(input),
                 base + k});
    return phrases;
}

} // namespace

const QList<Phrase> &Vocabulary()
{
    static const QList<Phrase> vocabulary = MakeVocabulary();
    return vocabulary;
}

QStringList PhraseTexts()
{
    QStringList texts;
    for (const Phrase &phrase : Vocabulary())
        texts.append(phrase.text);
    return texts;
}

int PhraseCode(const QString &text)
{
    const auto &phrases = Vocabulary();
    const auto found = std::find_if(phrases.begin(), phrases.end(),
                                    [&text](const Phrase &p) { return p.text == text; });
    return found == phrases.end() ? 0 : found->code;
}

QString PhraseText(int code)
{
    const auto &phrases = Vocabulary();
    const auto found = std::find_if(phrases.begin(), phrases.end(),
                                    [code](const Phrase &p) { return p.code == code; });
    return found == phrases.end() ? phrases.front().text : found->text;
}

QStringList ScenarioNumbers()
{
    QStringList numbers;
    for (int n = 0xE0; n <= 0xFF; ++n)
        if (n != 0xF8)
            numbers.append(FormatHex(n));
    return numbers;
}

ScenarioPlace PlaceOfScenario(int number)
{
    // c counts the scenarios from 1 for E0.
    const int c = number - 223;
    if (c >= 17)
        return {c - 8, true, true};
    // E0, E2, ... EE (odd c) take slots 0..3 of their row, E1 .. EF slots 4..7.
    const bool firstHalf = c >= 1 && c % 2 == 1;
    return {c >= 1 ? (c + 1) / 2 : 1, firstHalf, !firstHalf};
}

std::optional<int> OfferedScenario(const QString &text)
{
    const QString number = text.trimmed();
    if (!ScenarioNumbers().contains(number))
        return std::nullopt;
    return HexValue(number);
}
