#pragma once

#include "hextext.h"
#include "indicatorcodes.h"
#include "indicatorimage.h"

#include <QString>

// The texts of the window's eight lists and the enabled state of the three
// task-detail lists. The installer may type into any list, so the texts are
// the window state: a handler reads them all and leaves them for the window
// to show.
struct IndicatorLists
{
    QString adr = FormatHex(IndicatorAddress(1));
    QString kor = QStringLiteral("0");
    QString osv = QStringLiteral("8");
    QString d = QStringLiteral("действие по клавише");
    QString bis = QStringLiteral("нет");
    QString a = QStringLiteral("0");
    QString n = QStringLiteral("1");
    QString t = QStringLiteral("10");
    bool aEnabled = false;
    bool nEnabled = false;
    bool tEnabled = false;

    bool operator==(const IndicatorLists &) const = default;
};

// The list handlers of the indicator window, without widgets. Each works on
// the selected indicator's image and the selected task slot, whose two bytes
// are called first and second. A list writes either a whole byte (own
// address, correction, illumination) or one nibble of a task byte; masks
// apply to the low 8 bits of the stored value.
//
// Every handler returns empty when it took the list texts, or, when it refused
// a text and changed nothing in the image, why, for the status line.
class IndicatorEditor
{
public:
    explicit IndicatorEditor(IndicatorImages &images) : m_images(images) {}

    IndicatorLists lists;

    // 1..16, the selected indicator.
    int indicatorIndex() const { return m_index; }
    int indicatorAddress() const { return IndicatorAddress(m_index); }
    // The slot SelectTask last found in Combo_d.
    const TaskSlot &task() const { return m_task; }

    // Selects the indicator named in Combo_adr, sets its own-address byte and
    // shows its correction, illumination and selected task. A text that is no
    // address 80..8F keeps the indicator selected before, which is shown again.
    QString Combo_adr_Click();
    QString Combo_kor_Click();
    QString Combo_osv_Click();
    // Shows the selected task and normalises its second byte: an input number
    // 0 or above D becomes 1, a delay code 0 becomes 1.
    QString Combo_d_Click();
    QString Combo_bis_Click();
    QString Combo_a_Click();
    QString Combo_n_Click();
    QString Combo_t_Click();

    void SelectTask();
    void ShowTaskKind();

private:
    IndicatorImage &selected() { return m_images.indicator(m_index); }
    qint16 &first() { return selected().cell(m_task.reg, m_task.byte); }
    qint16 &second() { return selected().cell(m_task.reg, m_task.byte + 1); }

    IndicatorImages &m_images;
    int m_index = 1;
    TaskSlot m_task;
};
