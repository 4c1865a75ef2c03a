#include "network.h"

#include "hextext.h"
#include "networktable.h"
#include "safefile.h"
#include "systemerror.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>

namespace bussim {

namespace {
constexpr int MemoryRowLength = 16;

// The keys of the network file, and of each controller's entry in it.
constexpr QLatin1StringView ControllersKey("controllers");
constexpr QLatin1StringView RegistersKey("registers");
constexpr QLatin1StringView MemoryKey("memory");
constexpr QLatin1StringView AbsentKey("absent");
constexpr QLatin1StringView FaultsKey("faults");

bool Fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// Parses "F0 9C 01 9D" (blanks optional); empty on anything that is not whole hex bytes.
std::optional<QByteArray> ParseHexBytes(const QString &text)
{
    QString digits = text;
    digits.remove(u' ');
    if (digits.size() % 2 != 0)
        return std::nullopt;
    QByteArray bytes;
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        bool ok = false;
        const uint value = digits.mid(i, 2).toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        bytes.append(static_cast<char>(value));
    }
    return bytes;
}

// The strings of a controller's list such as "registers"; nothing, with a
// message naming the key, for another type. A key left out is an empty list.
std::optional<QStringList> Strings(const QJsonObject &entry, QLatin1StringView key, QString *error)
{
    const QJsonValue value = entry.value(key);
    QStringList strings;
    if (value.isUndefined())
        return strings;
    const QJsonArray items = value.toArray();
    for (const QJsonValue &item : items)
        strings.append(item.toString());
    if (!value.isArray() ||
        std::ranges::any_of(items, [](const QJsonValue &item) { return !item.isString(); })) {
        Fail(error, QStringLiteral("\"%1\" is not a list of strings").arg(key));
        return std::nullopt;
    }
    return strings;
}

// The file to write in place of `path`, opened: new, beside it.
bool OpenForSave(QSaveFile &file, QString *error)
{
    if (file.open(QIODevice::WriteOnly))
        return true;
    return Fail(error,
                QStringLiteral("%1: %2").arg(file.fileName(), SystemReason(file.errorString())));
}
} // namespace

Network::Network()
{
    for (const ControllerRow &row : NetworkTable) {
        Controller &c = m_controllers[row.address];
        c.address = row.address;
        c.registers = QList<Register>(row.registerCount, Register{});
    }
}

Controller *Network::find(int address)
{
    const auto it = m_controllers.find(address);
    return it == m_controllers.end() ? nullptr : &it->second;
}

const Controller *Network::find(int address) const
{
    const auto it = m_controllers.find(address);
    return it == m_controllers.end() ? nullptr : &it->second;
}

Controller &Network::at(int address)
{
    Controller *c = find(address);
    Q_ASSERT_X(c, "Network::at", "no controller at this address");
    return *c;
}

void Network::clearFaults()
{
    for (auto &[address, c] : m_controllers)
        c.faults.clear();
}

bool Network::sameContents(const Network &other) const
{
    for (const auto &[address, c] : m_controllers) {
        const Controller *o = other.find(address);
        if (!o || o->registers != c.registers || o->memory != c.memory)
            return false;
    }
    return true;
}

void Network::setContents(const Network &other)
{
    for (auto &[address, c] : m_controllers) {
        const Controller &o = other.m_controllers.at(address);
        c.registers = o.registers;
        c.memory = o.memory;
    }
}

QJsonObject Network::toJson() const
{
    QJsonObject controllers;
    for (const auto &[address, c] : m_controllers) {
        QJsonArray registers;
        for (const Register &r : c.registers)
            registers.append(HexBytes(QByteArray(reinterpret_cast<const char *>(r.data()), 8)));
        QJsonArray memory;
        for (int row = 0; row < 256; row += MemoryRowLength)
            memory.append(HexBytes(QByteArray(reinterpret_cast<const char *>(c.memory.data() + row),
                                              MemoryRowLength)));
        QJsonObject entry{{RegistersKey, registers}, {MemoryKey, memory}};
        if (c.absent)
            entry.insert(AbsentKey, true);
        if (!c.faults.isEmpty()) {
            QJsonArray faults;
            for (const Fault &f : c.faults)
                faults.append(FaultText(f));
            entry.insert(FaultsKey, faults);
        }
        controllers.insert(HexByte(address), entry);
    }
    return QJsonObject{{ControllersKey, controllers}};
}

bool Network::loadJson(const QJsonObject &json, QString *error)
{
    for (const QString &key : json.keys()) {
        if (key != ControllersKey)
            return Fail(error, QStringLiteral("unknown key \"%1\"").arg(key));
    }
    const QJsonValue controllersValue = json.value(ControllersKey);
    if (!controllersValue.isUndefined() && !controllersValue.isObject())
        return Fail(error, QStringLiteral("\"%1\" is not an object of controllers by address")
                               .arg(ControllersKey));
    Network loaded;
    const QJsonObject controllers = controllersValue.toObject();
    for (auto it = controllers.begin(); it != controllers.end(); ++it) {
        bool ok = false;
        const int address = it.key().toInt(&ok, 16);
        Controller *c = ok ? loaded.find(address) : nullptr;
        if (!c)
            return Fail(error, QStringLiteral("no controller at address \"%1\"").arg(it.key()));
        const auto fail = [&](const QString &why) {
            return Fail(error, QStringLiteral("controller %1: %2").arg(it.key(), why));
        };
        if (!it.value().isObject())
            return fail(QStringLiteral("not an object"));
        const QJsonObject entry = it.value().toObject();
        for (const QString &key : entry.keys()) {
            if (key != RegistersKey && key != MemoryKey && key != AbsentKey && key != FaultsKey)
                return fail(QStringLiteral("unknown key \"%1\"").arg(key));
        }
        QString why;
        const auto registers = Strings(entry, RegistersKey, &why);
        const auto memory = Strings(entry, MemoryKey, &why);
        const auto faults = Strings(entry, FaultsKey, &why);
        if (!registers || !memory || !faults)
            return fail(why);
        const QJsonValue absent = entry.value(AbsentKey);
        if (!absent.isUndefined() && !absent.isBool())
            return fail(QStringLiteral("\"%1\" is not true or false").arg(AbsentKey));
        c->absent = absent.toBool();

        if (registers->size() > c->registers.size())
            return fail(QStringLiteral("it has only %1 registers").arg(c->registers.size()));
        for (qsizetype n = 0; n < registers->size(); ++n) {
            const auto bytes = ParseHexBytes(registers->at(n));
            if (!bytes || bytes->size() != 8)
                return fail(QStringLiteral("register %1: not eight hex bytes").arg(n));
            std::copy(bytes->begin(), bytes->end(), c->registers[n].begin());
        }
        QByteArray cells;
        for (const QString &row : *memory) {
            const auto bytes = ParseHexBytes(row);
            if (!bytes)
                return fail(QStringLiteral("memory is not hex bytes"));
            cells += *bytes;
        }
        if (cells.size() > 256)
            return fail(QStringLiteral("more than 256 memory cells"));
        std::copy(cells.begin(), cells.end(), c->memory.begin());
        for (const QString &text : *faults) {
            const auto fault = ParseFault(text, &why);
            if (!fault)
                return fail(why);
            c->faults.append(*fault);
        }
    }
    *this = std::move(loaded);
    return true;
}

bool Network::load(const QString &path, QString *error)
{
    // A pipe or a device in its place is refused, not waited on or read without end.
    QString reason;
    const std::optional<QByteArray> bytes = ReadDataFile(path, &reason);
    if (!bytes)
        return Fail(error, QStringLiteral("%1: %2").arg(path, reason));
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(*bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return Fail(error, QStringLiteral("%1: not a network file: %2 at byte %3")
                               .arg(path, parseError.errorString())
                               .arg(parseError.offset));
    if (!doc.isObject())
        return Fail(error, QStringLiteral("%1: not a network file: not a JSON object").arg(path));
    QString why;
    if (!loadJson(doc.object(), &why))
        return Fail(error, QStringLiteral("%1: %2").arg(path, why));
    return true;
}

bool Network::save(const QString &path, QString *error) const
{
    // The save the tools' files have: a full disk or a kill leaves the old file whole.
    const QString reason =
        WriteFileSafely(path, QJsonDocument(toJson()).toJson(QJsonDocument::Indented));
    if (!reason.isEmpty())
        return Fail(error, QStringLiteral("%1: %2").arg(path, reason));
    return true;
}

bool Network::canSave(const QString &path, QString *error)
{
    // Left uncommitted, the new file goes with the object.
    QSaveFile file(path);
    return OpenForSave(file, error);
}

} // namespace bussim
