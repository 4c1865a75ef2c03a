// The register engine's read run on whatever the bus brings: the input
// chooses the controller and the block length, then plays ticks of Timer2,
// receive events cut as it likes, bytes that wait in the port without an
// event, well-formed replies for the register just requested (which must be
// stored at the next tick), and a port that fails mid-run.
#include "fuzzinput.h"
#include "registertransfer.h"
#include "seriallink.h"

#include <array>
#include <utility>

void FuzzOne(FuzzInput &in)
{
    FakeBusPort port;
    SerialLink link(&port);
    const int address = in.byte();
    const int registerCount = 1 + in.byte() % 24;

    QList<QList<int>> stored; // register number, then its eight bytes
    int runsEnded = 0;
    RegisterTransferSetup setup;
    setup.address = [address] {
        return address;
    };
    setup.registerCount = registerCount;
    setup.cell = [](int, int) {
        return 0;
    };
    setup.storeRegister = [&](int reg, const std::array<int, 8> &bytes) {
        stored.append(QList<int>{reg} + QList<int>(bytes.begin(), bytes.end()));
    };
    setup.readRunEnded = [&] {
        ++runsEnded;
    };
    RegisterTransfer engine(&link, setup);

    // Stale answers wait in the port before the run; starting it drops them.
    port.waiting = in.take(in.byte() % 16);
    FUZZ_CHECK(engine.startReadRun());
    FUZZ_CHECK(port.waiting.isEmpty());

    // A well-formed reply put on the bus for the register just requested,
    // while nothing else has come since: it is due at the next tick.
    std::optional<QList<int>> expected;
    int runsStopped = 0;
    while (!in.atEnd()) {
        const bool activeBefore = engine.isActive();
        const std::optional<QList<int>> due = std::exchange(expected, std::nullopt);
        const int op = in.byte() % 6;
        if (op == 0) {
            const int c = engine.readCounter();
            const qsizetype writtenBefore = port.written.size();
            const qsizetype storedBefore = stored.size();
            engine.Timer2_Timer();
            if (due)
                FUZZ_CHECK(stored.size() == storedBefore + 1 && stored.last() == *due);
            // One five-byte request per tick while registers are left to ask.
            if (engine.isActive() || c == registerCount)
                FUZZ_CHECK(port.written.size() - writtenBefore == (c < registerCount ? 5 : 0));
        } else if (op == 1) {
            for (const QByteArray &event : TakeEvents(in, 4))
                port.arrive(event);
        } else if (op == 2) {
            port.waiting += in.take(in.byte() % 32);
        } else if (op == 3) {
            const int reg = engine.readCounter() - 1;
            const BuiltReply reply = BuildReply(in, address, ReplyRegisterBlock, {reg});
            const bool clean = engine.isActive() && reg >= 0 && reg < registerCount &&
                               link.receiveOffset() == 0 && port.waiting.isEmpty();
            port.arrive(reply.wire);
            if (clean)
                expected = reply.payload;
        } else if (op == 4) {
            // The adapter is pulled out, then put back and the run started again.
            port.open = false;
            emit port.failed(QStringLiteral("fake: gone"));
            FUZZ_CHECK(!engine.isActive());
            if (activeBefore)
                ++runsStopped;
            port.open = true;
            FUZZ_CHECK(engine.startReadRun());
        } else {
            // A second start while the run is active is ignored, and so
            // leaves a reply that came before it due.
            const bool wasActive = engine.isActive();
            FUZZ_CHECK(engine.startReadRun() == !wasActive);
            expected = due;
        }
        if (activeBefore && !engine.isActive())
            ++runsStopped;

        FUZZ_CHECK(IsReceiveOffset(link.receiveOffset()));
        FUZZ_CHECK(engine.runMode() == RegisterTransfer::RunMode::NoRun ||
                   engine.runMode() == RegisterTransfer::RunMode::ReadRun);
        FUZZ_CHECK(engine.readCounter() >= 0 && engine.readCounter() <= registerCount + 1);
        if (!engine.isActive())
            expected.reset();
    }
    for (const QList<int> &s : stored)
        FUZZ_CHECK(s.first() >= 0 && s.first() < registerCount && AllBytes(s.mid(1)));
    // Every end of a read run, normal or not, shows what was read.
    FUZZ_CHECK(runsEnded == runsStopped);
}
