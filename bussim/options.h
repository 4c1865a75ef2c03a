#pragma once

#include "network.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace bussim {

// What the command line asks of the simulator.
struct Options
{
    // The most pseudo-terminals one network is served on.
    static constexpr int MaxPorts = 16;

    // As the network file has it (blank without one): saved back on exit with
    // the registers and memory the run leaves it, and nothing of the faults
    // and absences below.
    Network network;
    QString networkPath;
    // For this run only, on top of the network file's own.
    QList<int> absent;                   // addresses
    QList<std::pair<int, Fault>> faults; // address and fault
    std::optional<RandomFaultSettings> randomFaults;
    QStringList linkPaths; // one for each pseudo-terminal, in order
    int ports = 1;         // pseudo-terminals serving the one network, one per tool
    QString logPath;
    bool wireTime = false;
    bool helpShown = false;
    bool versionShown = false;
};

// Reads the command line (arguments[0] is the program) and the network file.
// False with a message on anything it cannot take: a value out of its
// bounds, a network file that will not load, or one that could not be saved.
bool ParseOptions(const QStringList &arguments, Options *options, QString *error);
// The network the run plays: the file's, with the command line's absences
// and faults.
Network PlayedNetwork(const Options &options);
QString HelpText();

} // namespace bussim
