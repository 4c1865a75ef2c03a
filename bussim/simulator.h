#pragma once

#include "network.h"
#include "requestparser.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace bussim {

// Bytes to put on the bus after a pause.
struct Piece
{
    int delayMs = 0; // from 0 to Fault::MaxPauseMs
    QByteArray bytes;
};

// What the bus carries in answer to one request, and what is worth logging.
struct Response
{
    QList<Piece> pieces; // empty: silence
    QString event;       // "scenario E0 played", "task 05 run", a synchronisation's clock
    QString fault;       // a fault drawn at random for this reply: "split=5:gap=30"
};

// The controllers' behaviour: answers a request the way the addressed
// controller would, stores what writes carry, and spoils the reply by the
// controller's faults and by the faults drawn at random for the network.
class Simulator
{
public:
    explicit Simulator(Network &network) : m_network(network) {}

    Response respond(const Request &request);

private:
    // The controller's own reply code and payload; nothing for silence.
    std::optional<std::pair<int, QList<int>>> answer(Controller &c, const Request &request,
                                                     QString *event);

    Network &m_network;
};

} // namespace bussim
