#pragma once

// The simulated controller network inside the test process: a pseudo-terminal
// whose master side is served by this thread's event loop, so a tool under
// test talks to it through a real serial device while the test inspects and
// spoils the network directly.
#include "hextext.h"
#include "network.h"
#include "ptyserver.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class SimHarness
{
public:
    SimHarness() : m_server(std::make_unique<bussim::PtyServer>(m_network))
    {
        m_ok = m_server->open(&m_error);
        QObject::connect(m_server.get(), &bussim::PtyServer::requestReceived, m_server.get(),
                         [this](const QByteArray &wire, bool) { m_requests.append(wire); });
        QObject::connect(m_server.get(), &bussim::PtyServer::eventLogged, m_server.get(),
                         [this](int address, const QString &text) {
                             m_events.append(HexByte(address) + QStringLiteral(": ") + text);
                         });
    }
    SimHarness(const SimHarness &) = delete;
    SimHarness &operator=(const SimHarness &) = delete;

    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    QString device() const { return m_server->slavePath(); }
    bussim::Network &network() { return m_network; }
    bussim::PtyServer &server() { return *m_server; }

    void setFault(int address, const bussim::Fault &fault) { m_network.setFault(address, fault); }
    // Spoils replies at random from here on, as bussim --random-faults does;
    // each fault drawn shows in events() as "05: fault: split=5:gap=30".
    void setRandomFaults(const bussim::RandomFaultSettings &settings)
    {
        m_network.setRandomFaults(settings);
    }

    // Every request frame received so far, as it stood on the wire.
    const QList<QByteArray> &requests() const { return m_requests; }
    // "9C: scenario E0 played", "82: task 05 run", "10: full sync: ...".
    const QStringList &events() const { return m_events; }

private:
    bussim::Network m_network;
    std::unique_ptr<bussim::PtyServer> m_server;
    QList<QByteArray> m_requests;
    QStringList m_events;
    QString m_error;
    bool m_ok = false;
};

// The adapter is pulled while request number `count` is on its way: the
// controller at `address` never answers it, and the device is gone (the
// harness destroyed) once the request has been taken. `context` ends the
// watch when it is destroyed.
inline void PullAdapterAt(std::unique_ptr<SimHarness> &sim, qsizetype count, int address,
                          QObject *context)
{
    QObject::connect(&sim->server(), &bussim::PtyServer::requestReceived, context,
                     [&sim, count, address, context] {
                         if (sim->requests().size() != count)
                             return;
                         sim->setFault(address, bussim::Fault{});
                         QTimer::singleShot(0, context, [&sim] { sim.reset(); });
                     });
}
