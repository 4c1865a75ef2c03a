// busprobe's exchange and judgement on whatever the bus brings: the input
// chooses the target address and the command, and for every request sent the
// bytes that come back, cut into receive events as it likes (or a well-formed
// reply, which must then be accepted). Bytes may also wait in the port before
// a request, as late answers do.
#include "fuzzinput.h"
#include "probeexchange.h"
#include "probemodel.h"
#include "probetexts.h"

#include <array>
#include <chrono>

namespace {
constexpr std::array<int, 5> KnownReplyCodes{ReplyDone, ReplyDoneAlt, ReplyMemoryBlock,
                                             ReplyMemoryCell, ReplyRegisterBlock};
constexpr std::array<int, 10> Commands{
    PresencePoll,      WriteMemoryCell,    ReadMemoryBlock,  ReadMemoryCell, WriteMemoryBlock,
    ReadRegisterBlock, WriteRegisterBlock, AuxiliaryCommand, ActionCommand,  WriteRegisterCell};
} // namespace

void FuzzOne(FuzzInput &in)
{
    ScriptedPort port(in);
    // The wait is one event-loop pass: the queued receive events are delivered,
    // then the zero-length wait ends.
    ProbeExchange exchange(&port, std::chrono::milliseconds(0),
                           [] { return QDateTime(QDate(2024, 3, 3), QTime(21, 7, 45)); });
    // Bytes that came before the first request wait in the port and are taken
    // with the first receive event of the first exchange.
    port.waiting = in.take(in.byte() % 16);

    int target = 0;
    port.reply = [&](int how) {
        return BuildReply(in, target, KnownReplyCodes[std::size_t(how) % KnownReplyCodes.size()]);
    };

    RequestFields values;
    while (!in.atEnd()) {
        target = in.byte();
        const int command = in.byte() % 2 == 0
                                ? Commands[static_cast<std::size_t>(in.byte()) % Commands.size()]
                                : FullSync;
        if (command == FullSync)
            target = SyncAddress;
        exchange.setAttemptLimit(1 + in.byte() % 3);

        const ProbeExchange::Outcome outcome = exchange.Run(target, command, values);
        FUZZ_CHECK(outcome.end == ProbeExchange::End::Judged ||
                   outcome.end == ProbeExchange::End::BusBusy);
        FUZZ_CHECK(IsReceiveOffset(exchange.link().receiveOffset()));

        const ReplyJudgement &j = outcome.judgement;
        if (outcome.end == ProbeExchange::End::BusBusy) {
            FUZZ_CHECK(j.verdict == Verdict::ForeignTraffic);
            FUZZ_CHECK(outcome.status == ProbeTexts::StatusBusBusy());
            continue;
        }
        FUZZ_CHECK(j.verdict != Verdict::ForeignTraffic);
        FUZZ_CHECK(outcome.status == ProbeTexts::VerdictText(j.verdict));
        if (j.verdict == Verdict::Ok) {
            FUZZ_CHECK(j.address == target);
            FUZZ_CHECK(j.payload.size() == ReplyPayloadLength(j.replyCode).value_or(-1));
            FUZZ_CHECK(AllBytes(j.payload));
        } else {
            FUZZ_CHECK(j.payload.isEmpty());
        }
        // A whole reply in one receive event, with nothing in front of it.
        if (port.built)
            FUZZ_CHECK(j.verdict == Verdict::Ok && j.payload == *port.built);
        const RequestFields before = values;
        TakeOver(values, j);
        if (j.verdict != Verdict::Ok || j.payload.isEmpty())
            FUZZ_CHECK(values.cellAddress == before.cellAddress && values.data == before.data);
    }
}
