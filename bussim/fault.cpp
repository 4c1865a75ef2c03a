#include "fault.h"

#include "hextext.h"

#include <QStringList>

#include <array>
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
} // namespace

std::optional<Fault> ParseFault(const QString &text, QString *error)
{
    const QStringList parts = text.trimmed().split(u':');
    Fault fault;
    bool kindSeen = false;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString name = parts[i].section(u'=', 0, 0).trimmed().toLower();
        const QString number = parts[i].section(u'=', 1).trimmed();
        const bool hasNumber = parts[i].contains(u'=');
        bool ok = true;
        const int base = name == u"reply-code" ? 16 : 10;
        const int value = hasNumber ? number.toInt(&ok, base) : 0;
        if (!ok || value < (name == u"count" ? -1 : 0))
            return Refuse(error, QStringLiteral("bad number in fault \"%1\"").arg(text));
        if (i == 0) {
            for (const auto &[kind, kindName] : KindNames) {
                if (name == QStringView(kindName)) {
                    fault.kind = kind;
                    kindSeen = true;
                }
            }
            if (!kindSeen)
                return Refuse(error, QStringLiteral("unknown fault \"%1\"").arg(text));
            // A wrong checksum is one too high unless told how far off it is.
            if (TakesValue(fault.kind) != hasNumber && fault.kind != Fault::Kind::BadChecksum)
                return Refuse(error, QStringLiteral("fault \"%1\": %2 needs %3")
                                         .arg(text, name,
                                              TakesValue(fault.kind) ? QStringLiteral("a value")
                                                                     : QStringLiteral("no value")));
            fault.value = value;
        } else if (name == u"gap" && hasNumber) {
            fault.gapMs = value;
        } else if (name == u"count" && hasNumber) {
            fault.count = value;
        } else {
            return Refuse(error,
                          QStringLiteral("fault \"%1\": unknown part \"%2\"").arg(text, parts[i]));
        }
    }
    if ((fault.kind == Fault::Kind::ReplyCode || fault.kind == Fault::Kind::BadChecksum) &&
        fault.value > 0xFF)
        return Refuse(error, QStringLiteral("fault \"%1\": value beyond FF").arg(text));
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
    RandomFaultSettings settings;
    bool seedOk = false;
    bool percentOk = false;
    settings.seed = parts.value(0).trimmed().toUInt(&seedOk);
    settings.percent = parts.value(1).trimmed().toInt(&percentOk);
    if (parts.size() < 2 || parts.size() > 3 || !seedOk || !percentOk || settings.percent < 0 ||
        settings.percent > 100)
        return Refuse(error, QStringLiteral("random faults \"%1\": give SEED:PERCENT, "
                                            "a percent from 0 to 100")
                                 .arg(text));
    if (parts.size() == 3) {
        const QString gaps = parts[2].trimmed();
        bool minOk = false;
        bool maxOk = false;
        settings.minGapMs = gaps.section(u'=', 1).section(u'-', 0, 0).toInt(&minOk);
        settings.maxGapMs = gaps.section(u'=', 1).section(u'-', 1).toInt(&maxOk);
        if (!gaps.startsWith(u"gap=") || !minOk || !maxOk || settings.minGapMs < 0 ||
            settings.maxGapMs < settings.minGapMs)
            return Refuse(error, QStringLiteral("random faults \"%1\": the pause is "
                                                "gap=MIN-MAX in milliseconds")
                                     .arg(text));
    }
    return settings;
}

} // namespace bussim
