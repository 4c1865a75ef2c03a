#include "fault.h"

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

std::optional<Fault> Refuse(QString *error, const QString &why)
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
            if (TakesValue(fault.kind) != hasNumber)
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
    if (fault.kind == Fault::Kind::ReplyCode && fault.value > 0xFF)
        return Refuse(error, QStringLiteral("fault \"%1\": reply code beyond FF").arg(text));
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
        text += u'=' + QStringLiteral("%1").arg(fault.value, 2, 16, QLatin1Char('0')).toUpper();
    else if (TakesValue(fault.kind))
        text += QStringLiteral("=%1").arg(fault.value);
    if (fault.kind == Fault::Kind::Split)
        text += QStringLiteral(":gap=%1").arg(fault.gapMs);
    if (fault.count >= 0)
        text += QStringLiteral(":count=%1").arg(fault.count);
    return text;
}

} // namespace bussim
