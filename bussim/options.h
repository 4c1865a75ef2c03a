#pragma once

#include "network.h"

#include <QString>
#include <QStringList>

namespace bussim {

// What the command line asks of the simulator.
struct Options
{
    Network network;       // loaded from networkPath, then absences and faults applied
    QString networkPath;   // saved back on exit
    QStringList linkPaths; // one for each pseudo-terminal, in order
    int ports = 1;         // pseudo-terminals serving the one network, one per tool
    QString logPath;
    bool wireTime = false;
    bool helpShown = false;
    bool versionShown = false;
};

// Reads the command line (arguments[0] is the program). False with a message
// on anything it cannot take, including a network file that will not load.
bool ParseOptions(const QStringList &arguments, Options *options, QString *error);
QString HelpText();

} // namespace bussim
