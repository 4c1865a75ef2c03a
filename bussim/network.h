#pragma once

#include "fault.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <array>
#include <map>
#include <optional>

namespace bussim {

using Register = std::array<quint8, 8>;

// One controller on the simulated bus: its memory cells, its registers of
// eight bytes, and how it misbehaves.
struct Controller
{
    int address = 0;
    std::array<quint8, 256> memory{};
    QList<Register> registers;
    bool absent = false;
    QList<Fault> faults;
};

// The controllers of one house, those of the table of the network with
// their register counts; every byte 0 at first.
class Network
{
public:
    Network();

    // Null for an address no controller has (10 among them).
    Controller *find(int address);
    const Controller *find(int address) const;

    // The controller at an address of the table; asserts on any other.
    Controller &at(int address);
    QList<Register> &registers(int address) { return at(address).registers; }
    std::array<quint8, 256> &memory(int address) { return at(address).memory; }
    void setAbsent(int address, bool absent) { at(address).absent = absent; }
    void setFault(int address, const Fault &fault) { at(address).faults = {fault}; }
    void addFault(int address, const Fault &fault) { at(address).faults.append(fault); }
    void clearFaults();

    // Faults drawn at random for every controller's replies, from one
    // generator for the whole network, so that the faults follow the order of
    // the requests whichever pseudo-terminal they come in on.
    void setRandomFaults(const RandomFaultSettings &settings) { m_random.emplace(settings); }
    RandomFaults *randomFaults() { return m_random ? &*m_random : nullptr; }

    // Only the registers and memory of all controllers, for comparing two networks.
    bool sameContents(const Network &other) const;
    // Takes the registers and memory of all controllers from another network,
    // keeping this one's absences and faults.
    void setContents(const Network &other);

    // The network file: every controller with its registers, memory (16 lines
    // of 16 bytes), absence and faults. Bytes are written in hex, eight or
    // sixteen to a string.
    QJsonObject toJson() const;
    // Reads a network file's contents; controllers or registers it leaves out
    // stay 0. Refuses (and changes nothing) on any malformed entry, on a key
    // it does not know and on a value of the wrong type, naming the key.
    bool loadJson(const QJsonObject &json, QString *error);
    bool load(const QString &path, QString *error);
    // Written atomically, so an interrupted save leaves the previous file whole.
    bool save(const QString &path, QString *error) const;
    // Whether save() could write `path` now: tried the way it writes (a new
    // file beside it, to replace it), and nothing is left behind.
    static bool canSave(const QString &path, QString *error);

private:
    std::map<int, Controller> m_controllers;
    std::optional<RandomFaults> m_random;
};

} // namespace bussim
