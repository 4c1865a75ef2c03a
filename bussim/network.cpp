#include "network.h"

#include "hextext.h"
#include "networktable.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace bussim {

namespace {
constexpr int MemoryRowLength = 16;

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
        QJsonObject entry{{QStringLiteral("registers"), registers},
                          {QStringLiteral("memory"), memory}};
        if (c.absent)
            entry.insert(QStringLiteral("absent"), true);
        if (!c.faults.isEmpty()) {
            QJsonArray faults;
            for (const Fault &f : c.faults)
                faults.append(FaultText(f));
            entry.insert(QStringLiteral("faults"), faults);
        }
        controllers.insert(HexByte(address), entry);
    }
    return QJsonObject{{QStringLiteral("controllers"), controllers}};
}

bool Network::loadJson(const QJsonObject &json, QString *error)
{
    Network loaded;
    const QJsonObject controllers = json.value(QStringLiteral("controllers")).toObject();
    for (auto it = controllers.begin(); it != controllers.end(); ++it) {
        bool ok = false;
        const int address = it.key().toInt(&ok, 16);
        Controller *c = ok ? loaded.find(address) : nullptr;
        if (!c)
            return Fail(error, QStringLiteral("no controller at address \"%1\"").arg(it.key()));
        const QJsonObject entry = it.value().toObject();
        const QJsonArray registers = entry.value(QStringLiteral("registers")).toArray();
        if (registers.size() > c->registers.size())
            return Fail(error, QStringLiteral("controller %1 has only %2 registers")
                                   .arg(it.key())
                                   .arg(c->registers.size()));
        for (qsizetype n = 0; n < registers.size(); ++n) {
            const auto bytes = ParseHexBytes(registers[n].toString());
            if (!bytes || bytes->size() != 8)
                return Fail(error, QStringLiteral("controller %1, register %2: not eight hex bytes")
                                       .arg(it.key())
                                       .arg(n));
            std::copy(bytes->begin(), bytes->end(), c->registers[n].begin());
        }
        const QJsonArray memory = entry.value(QStringLiteral("memory")).toArray();
        QByteArray cells;
        for (const QJsonValue &row : memory) {
            const auto bytes = ParseHexBytes(row.toString());
            if (!bytes)
                return Fail(error,
                            QStringLiteral("controller %1: memory is not hex bytes").arg(it.key()));
            cells += *bytes;
        }
        if (cells.size() > 256)
            return Fail(error,
                        QStringLiteral("controller %1: more than 256 memory cells").arg(it.key()));
        std::copy(cells.begin(), cells.end(), c->memory.begin());
        c->absent = entry.value(QStringLiteral("absent")).toBool(false);
        for (const QJsonValue &f : entry.value(QStringLiteral("faults")).toArray()) {
            QString why;
            const auto fault = ParseFault(f.toString(), &why);
            if (!fault)
                return Fail(error, QStringLiteral("controller %1: %2").arg(it.key(), why));
            c->faults.append(*fault);
        }
    }
    *this = std::move(loaded);
    return true;
}

bool Network::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isObject())
        return Fail(
            error,
            QStringLiteral("%1: not a network file (%2)").arg(path, parseError.errorString()));
    QString why;
    if (!loadJson(doc.object(), &why))
        return Fail(error, QStringLiteral("%1: %2").arg(path, why));
    return true;
}

bool Network::save(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    file.write(QJsonDocument(toJson()).toJson(QJsonDocument::Indented));
    if (!file.commit())
        return Fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    return true;
}

} // namespace bussim
