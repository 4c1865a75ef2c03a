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
#include <optional>

namespace {

constexpr std::array<int, 5> KnownReplyCodes{ReplyDone, ReplyDoneAlt, ReplyMemoryBlock,
                                             ReplyMemoryCell, ReplyRegisterBlock};
constexpr std::array<int, 10> Commands{
    PresencePoll,      WriteMemoryCell,    ReadMemoryBlock,  ReadMemoryCell, WriteMemoryBlock,
    ReadRegisterBlock, WriteRegisterBlock, AuxiliaryCommand, ActionCommand,  WriteRegisterCell};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    EnsureApplication();
    FuzzInput in(data, size);

    ScriptedPort port;
    // The wait is one event-loop pass: the queued receive events are delivered,
    // then the zero-length wait ends.
    ProbeExchange exchange(&port, std::chrono::milliseconds(0),
                           [] { return QDateTime(QDate(2024, 3, 3), QTime(21, 7, 45)); });

    // Bytes that came before the first request wait in the port and are taken
    // with the first receive event of the first exchange.
    port.waiting = in.take(in.byte() % 16);

    // What the script put on the bus for the latest request: a well-formed
    // reply of the requested controller, when it built one.
    std::optional<QList<int>> builtPayload;
    int targetAddress = 0;
    port.onWrite = [&] {
        builtPayload.reset();
        const int how = in.byte();
        if (how < 0x40) {
            // A reply built by the frame rules, in one receive event.
            const int code =
                KnownReplyCodes[static_cast<std::size_t>(how) % KnownReplyCodes.size()];
            FrameBuilder reply(ReplyStart, targetAddress, code);
            QList<int> payload;
            for (int i = 0; i < ReplyPayloadLength(code).value_or(0); ++i) {
                payload.append(in.byte());
                reply.stuffed(payload.back());
            }
            port.queueEvent(reply.finish().value_or(QByteArray()));
            if (port.waiting.isEmpty())
                builtPayload = payload;
            return;
        }
        for (const QByteArray &event : TakeEvents(in, 4))
            port.queueEvent(event);
    };

    RequestFields values;
    while (!in.atEnd()) {
        targetAddress = in.byte();
        const int command = in.byte() % 2 == 0
                                ? Commands[static_cast<std::size_t>(in.byte()) % Commands.size()]
                                : FullSync;
        const int target = command == FullSync ? SyncAddress : targetAddress;
        targetAddress = target;
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
        FUZZ_CHECK(outcome.status == VerdictText(j.verdict));
        if (j.verdict == Verdict::Ok) {
            FUZZ_CHECK(j.address == target);
            FUZZ_CHECK(j.payload.size() == ReplyPayloadLength(j.replyCode).value_or(-1));
            for (int value : j.payload)
                FUZZ_CHECK(value >= 0 && value <= 0xFF);
        } else {
            FUZZ_CHECK(j.payload.isEmpty());
        }
        if (builtPayload) {
            // A whole reply in one receive event, with nothing in front of it.
            FUZZ_CHECK(j.verdict == Verdict::Ok);
            FUZZ_CHECK(j.payload == *builtPayload);
        }
        const RequestFields before = values;
        TakeOver(values, j);
        if (j.verdict != Verdict::Ok || j.payload.isEmpty())
            FUZZ_CHECK(values.cellAddress == before.cellAddress && values.data == before.data);
    }
    return 0;
}
