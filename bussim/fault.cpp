#include "fault.h"

#include "hextext.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <limits>
#include <tuple>
#include <utility>

namespace bussim {

namespace {
constexpr std::array<std::pair<Fault::Kind, const char16_t *>, 8> KindNames{{
    {Fault::Kind::Silent, u"silent"},
    {Fault::Kind::BadChecksum, u"bad-checksum"},
    {Fault::Kind::Split, u"split"},
    {Fault::Kind::Foreign, u"foreign"},
    {Fault::Kind::OtherRegister, u"other-register"},
    {Fault::Kind::OtherAddress, u"other-address"},
    {Fault::Kind::ReplyCode, u"reply-code"},
    {Fault::Kind::Delay, u"delay"},
}};

bool TakesValue(Fault::Kind kind)
{
    return kind == Fault::Kind::Split || kind == Fault::Kind::ReplyCode ||
           kind == Fault::Kind::Delay;
}

std::nullopt_t Refuse(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return std::nullopt;
}

// The numbers a fault's own value may be: where a reply is split is a byte
// of it, a delay a pause, a reply code or a checksum's offset a byte.
std::pair<int, int> ValueBounds(Fault::Kind kind)
{
    switch (kind) {
    case Fault::Kind::Split:
        return {1, 0xFF};
    case Fault::Kind::Delay:
        return {0, Fault::MaxPauseMs};
    default:
        return {0, 0xFF};
    }
}
} // namespace

std::optional<int> BoundedNumber(const QString &name, const QString &text, int least, int most,
                                 QString *error, int base)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, base);
    if (ok && value >= least && value <= most)
        return value;
    return Refuse(error, QStringLiteral("%1 takes a number from %2 to %3")
                             .arg(name, QString::number(least, base).toUpper(),
                                  QString::number(most, base).toUpper()));
}

std::optional<Fault> ParseFault(const QString &text, QString *error)
{
    const QStringList parts = text.trimmed().split(u':');
    const auto refuse = [&](const QString &why) {
        return Refuse(error, QStringLiteral("fault \"%1\": %2").arg(text, why));
    };
    Fault fault;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString name = parts[i].section(u'=', 0, 0).trimmed().toLower();
        const bool hasNumber = parts[i].contains(u'=');
        int *target = nullptr;
        int least = 0;
        int most = 0;
        if (i == 0) {
            const auto kind = std::ranges::find_if(
                KindNames, [&](const auto &row) { return name == QStringView(row.second); });
            if (kind == KindNames.end())
                return Refuse(error, QStringLiteral("unknown fault \"%1\"").arg(text));
            fault.kind = kind->first;
            // A wrong checksum is one too high unless told how far off it is.
            if (TakesValue(fault.kind) != hasNumber && fault.kind != Fault::Kind::BadChecksum)
                return refuse(name + (TakesValue(fault.kind) ? QStringLiteral(" needs a value")
                                                             : QStringLiteral(" takes no value")));
            std::tie(least, most) = ValueBounds(fault.kind);
            target = &fault.value;
        } else if (name == u"gap" && hasNumber) {
            most = Fault::MaxPauseMs;
            target = &fault.gapMs;
        } else if (name == u"count" && hasNumber) {
            most = Fault::MaxCount;
            target = &fault.count;
        } else {
            return refuse(QStringLiteral("unknown part \"%1\"").arg(parts[i]));
        }
        if (!hasNumber)
            continue;
        QString why;
        const auto value = BoundedNumber(name, parts[i].section(u'=', 1), least, most, &why,
                                         fault.kind == Fault::Kind::ReplyCode && i == 0 ? 16 : 10);
        if (!value)
            return refuse(why);
        *target = *value;
    }
    return fault;
}

QString FaultText(const Fault &fault)
{
    QString text;
    for (const auto &[kind, kindName] : KindNames) {
        if (kind == fault.kind)
            text = QString::fromUtf16(kindName);
    }
    if (fault.kind == Fault::Kind::ReplyCode)
        text += u'=' + HexByte(fault.value);
    else if (TakesValue(fault.kind) || (fault.kind == Fault::Kind::BadChecksum && fault.value > 1))
        text += QStringLiteral("=%1").arg(fault.value);
    if (fault.kind == Fault::Kind::Split)
        text += QStringLiteral(":gap=%1").arg(fault.gapMs);
    if (fault.count >= 0)
        text += QStringLiteral(":count=%1").arg(fault.count);
    return text;
}

std::optional<Fault> RandomFaults::draw(int replyLength, bool registerRead)
{
    if (below(100) >= m_settings.percent)
        return std::nullopt;
    static constexpr std::array<Fault::Kind, 5> Kinds{
        Fault::Kind::Silent, Fault::Kind::Split, Fault::Kind::Foreign, Fault::Kind::BadChecksum,
        Fault::Kind::OtherRegister};
    Fault fault;
    fault.kind = Kinds[static_cast<std::size_t>(below(registerRead ? 5 : 4))];
    if (fault.kind == Fault::Kind::Split) {
        if (replyLength < 2)
            fault.kind = Fault::Kind::Silent; // nothing to split
        else {
            fault.value = 1 + below(replyLength - 1);
            fault.gapMs =
                m_settings.minGapMs + below(m_settings.maxGapMs - m_settings.minGapMs + 1);
        }
    }
    return fault;
}

int RandomFaults::below(int n)
{
    return n <= 1 ? 0 : static_cast<int>(m_engine() % static_cast<quint32>(n));
}

std::optional<RandomFaultSettings> ParseRandomFaults(const QString &text, QString *error)
{
    const QStringList parts = text.trimmed().split(u':');
    const auto refuse = [&](const QString &why) {
        return Refuse(error, QStringLiteral("random faults \"%1\": %2").arg(text, why));
    };
    if (parts.size() < 2 || parts.size() > 3)
        return refuse(QStringLiteral("give SEED:PERCENT or SEED:PERCENT:gap=MIN-MAX"));
    RandomFaultSettings settings;
    bool seedOk = false;
    settings.seed = parts[0].trimmed().toUInt(&seedOk);
    if (!seedOk)
        return refuse(QStringLiteral("the seed takes a number from 0 to %1")
                          .arg(std::numeric_limits<quint32>::max()));
    QString why;
    const auto percent = BoundedNumber(QStringLiteral("the percent"), parts[1], 0, 100, &why);
    if (!percent)
        return refuse(why);
    settings.percent = *percent;
    if (parts.size() == 3) {
        const QString gaps = parts[2].trimmed();
        const QStringList range = gaps.mid(4).split(u'-');
        if (!gaps.startsWith(u"gap=") || range.size() != 2)
            return refuse(QStringLiteral("the pause is gap=MIN-MAX in milliseconds"));
        const auto least =
            BoundedNumber(QStringLiteral("gap"), range[0], 0, Fault::MaxPauseMs, &why);
        if (!least)
            return refuse(why);
        const auto most =
            BoundedNumber(QStringLiteral("gap"), range[1], 0, Fault::MaxPauseMs, &why);
        if (!most)
            return refuse(why);
        if (*most < *least)
            return refuse(QStringLiteral("gap=MIN-MAX with MIN above MAX"));
        settings.minGapMs = *least;
        settings.maxGapMs = *most;
    }
    return settings;
}

} // namespace bussim
