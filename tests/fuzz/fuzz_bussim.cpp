// bussim's request parser and the simulated network's answers on whatever
// the bus brings. The input first spoils up to three controllers with faults
// and may have further faults drawn at random, then delivers bus bytes in
// pieces; after a piece the bus may fall quiet, which drops a frame begun but
// not finished. Every frame the parser returns
// must hold to the frame rules, and a healthy controller's answer must be a
// reply the tools accept.
#include "busframe.h"
#include "fuzzinput.h"
#include "networktable.h"
#include "replybuffer.h"
#include "simulator.h"

#include <QSet>

namespace {

// The checksum byte of a frame recomputed from its wire bytes: every byte
// after the start byte and before the checksum, stuffing bytes included.
int WireChecksum(const QByteArray &wire)
{
    int sum = 0;
    for (qsizetype i = 1; i + 1 < wire.size(); ++i)
        sum += static_cast<quint8>(wire[i]);
    return sum % 256;
}

void CheckRequest(const bussim::Request &r)
{
    FUZZ_CHECK(r.wire.size() >= 4);
    FUZZ_CHECK(quint8(r.wire[0]) == RequestStart && quint8(r.wire[1]) == r.address &&
               quint8(r.wire[2]) == r.command);
    FUZZ_CHECK(r.checksumOk == (WireChecksum(r.wire) == static_cast<quint8>(r.wire.back())));
    // Each payload F0 before the closing zeros brings one stuffing byte.
    const int zeros = r.address == SyncAddress && r.command == FullSync ? 2 : 0;
    FUZZ_CHECK(r.payload.size() >= zeros);
    const qsizetype stuffing = r.payload.first(r.payload.size() - zeros).count(RequestStart);
    FUZZ_CHECK(AllBytes(r.payload));
    FUZZ_CHECK(r.wire.size() == 3 + r.payload.size() + stuffing + 1);
}

// A healthy controller's answer, whole in one receive event, must be judged
// a good reply from the controller asked.
void CheckAnswer(const bussim::Request &r, const bussim::Response &response)
{
    if (response.pieces.isEmpty())
        return; // silence: a command or register this controller does not have
    FUZZ_CHECK(response.pieces.size() == 1);
    const QByteArray &reply = response.pieces.first().bytes;
    FUZZ_CHECK(reply.size() <= ReplyBuffer::ReceiveLimit);
    ReplyBuffer buffer;
    const int offset = buffer.place(0, reply);
    const ReplyJudgement j = JudgeReply(buffer, offset, r.address);
    FUZZ_CHECK(j.verdict == Verdict::Ok);
    if (j.replyCode != ReplyDone)
        FUZZ_CHECK(!j.payload.isEmpty() && j.payload.first() == r.payload.value(0));
}

} // namespace

void FuzzOne(FuzzInput &in)
{
    bussim::Network network;
    QSet<int> spoiled;
    for (int i = in.byte() % 4; i > 0; --i) {
        const int address = NetworkTable.at(std::size_t(in.byte()) % NetworkTable.size()).address;
        // Kind, value, pause and count, read in that order.
        network.addFault(address, {static_cast<bussim::Fault::Kind>(in.byte() % 8),
                                   in.byte() - 0x20, in.byte(), in.byte() % 4 - 1});
        spoiled.insert(address);
    }

    if (in.byte() % 4 == 0) {
        bussim::RandomFaultSettings random;
        random.seed = static_cast<quint32>(in.byte() | in.byte() << 8);
        random.percent = in.byte() % 101;
        random.minGapMs = in.byte() % 64;
        random.maxGapMs = random.minGapMs + in.byte() % 64;
        network.setRandomFaults(random);
    }

    bussim::RequestParser parser;
    bussim::Simulator simulator(network);
    while (!in.atEnd()) {
        const int piece = in.byte();
        for (const char byte : in.take(piece & 0x3F)) {
            const std::optional<bussim::Request> request = parser.feed(static_cast<quint8>(byte));
            if (!request)
                continue;
            CheckRequest(*request);
            FUZZ_CHECK(!parser.inFrame());
            const bussim::Response response = simulator.respond(*request);
            if (!request->checksumOk || request->address == SyncAddress ||
                !network.find(request->address)) {
                FUZZ_CHECK(response.pieces.isEmpty());
                continue;
            }
            if (!spoiled.contains(request->address) && response.fault.isEmpty())
                CheckAnswer(*request, response);
        }
        if (piece & 0x80) {
            parser.reset(); // the bus fell quiet mid-frame
            FUZZ_CHECK(!parser.inFrame());
        }
    }
}
