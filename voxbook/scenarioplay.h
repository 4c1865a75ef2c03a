#pragma once

#include <QObject>
#include <QString>

#include <chrono>

class RegisterTransfer;
class SerialLink;

// Makes the announcer play one scenario: one play request, then a presence
// poll every 1.5 s, ten in all, on the write timer of the register engine
// (its own run, steps 0..9: run modes 30..39). Each tick judges the
// announcer's answer to the request of the tick before, and the status counts
// the polls, saying "нет ответа" for a request that got none.
class ScenarioPlay : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds DefaultPollInterval{1500};

    ScenarioPlay(SerialLink *link, RegisterTransfer *engine,
                 std::chrono::milliseconds pollInterval = DefaultPollInterval,
                 QObject *parent = nullptr);

    // Sends the play request for the number typed or chosen in `numberText`
    // and starts the polls. Ignored (false) while a run is active; refused,
    // with a status, for a text that is no number of one byte or when the
    // port is not open.
    bool start(const QString &numberText);
    // One tick of the write timer during the test.
    void step();

    std::chrono::milliseconds pollInterval() const { return m_pollInterval; }

signals:
    void statusChanged(const QString &text);

private:
    // The tick that sends the tenth poll ends the test.
    static constexpr int LastStep = 9;

    SerialLink *m_link;
    RegisterTransfer *m_engine;
    std::chrono::milliseconds m_pollInterval;
    int m_unanswered = 0; // requests of this test without an answer so far
};
