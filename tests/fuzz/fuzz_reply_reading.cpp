// The readings of a reply side by side on whatever the bus brings: the input
// chooses the controller and the register asked for, then brings bytes in
// receive events cut as it likes through the tools' link, or a well-formed
// register reply alone, which every reading must accept. busprobe's
// judgement, the register reply as sysload and as the register engine read
// it, sysload's quick form over the bytes in a row and the exchange log's
// decoder each judge what came, and must agree where the frame rules say
// they do.
#include "fuzzinput.h"
#include "registerframe.h"
#include "replycheck.h"
#include "seriallink.h"
#include "stuffedbyte.h"

void FuzzOne(FuzzInput &in)
{
    FakeBusPort port;
    SerialLink link(&port);
    const ReceptionGate open = link.openReception();
    const int address = in.byte();
    const int reg = in.byte() % 64; // never F0, which the loader would stuff

    while (!in.atEnd()) {
        link.ForgetReceived();
        QByteArray received;
        const bool built = in.byte() % 4 == 0;
        const QList<QByteArray> events =
            built ? QList{BuildReply(in, address, ReplyRegisterBlock, {reg}).wire}
                  : TakeEvents(in, 4);
        for (const QByteArray &event : events) {
            port.arrive(event);
            received += event;
        }
        const ReplyBuffer &buffer = link.replyBuffer();
        const int offset = link.receiveOffset();
        FUZZ_CHECK(IsReceiveOffset(offset));

        const ReplyJudgement probe = JudgeReply(buffer, offset, address);
        const RegisterReplyJudgement loader = JudgeRegisterReply(
            buffer, offset, address, reg, RegisterNumberRule::Compared, TakeReplyByte);
        const RegisterReplyJudgement engine = JudgeRegisterReply(
            buffer, offset, address, reg, RegisterNumberRule::SummedAsRequested, TakeRegisterByte);
        const std::optional<RegisterValues> quick = RegisterReply(received, address, reg);
        FUZZ_CHECK(AllBytes(probe.payload) && AllBytes(loader.data) && AllBytes(engine.data));
        if (probe.verdict == Verdict::Ok)
            FUZZ_CHECK(probe.payload.size() == ReplyPayloadLength(probe.replyCode).value_or(-1));

        // Both register readings walk the same slots; only the sum may differ.
        if (loader.verdict == RegisterVerdict::ChecksumMismatch ||
            loader.verdict == RegisterVerdict::Ok) {
            FUZZ_CHECK(loader.data == engine.data && loader.checksumSlot == engine.checksumSlot);
            FUZZ_CHECK(loader.checksumSlot >= 13 && loader.checksumSlot <= 21);
        }
        // sysload's reply is one busprobe takes too, the register number first.
        if (loader.verdict == RegisterVerdict::Ok)
            FUZZ_CHECK(probe.verdict == Verdict::Ok &&
                       probe.payload ==
                           QList<int>{reg} + QList<int>(loader.data.begin(), loader.data.end()));
        // The quick form accepts only a reply whose bytes have all come.
        if (quick && events.size() == 1 && received.size() <= ReplyBuffer::ReceiveLimit)
            FUZZ_CHECK(loader.verdict == RegisterVerdict::Ok);

        const QList<DecodedFrame> frames = DecodeTraffic(received);
        QByteArray pieces;
        for (const DecodedFrame &frame : frames)
            pieces += frame.wire;
        FUZZ_CHECK(pieces == received);
        // A well-formed reply alone, stuffed by the rules, is every reading's.
        if (built)
            FUZZ_CHECK(loader.verdict == RegisterVerdict::Ok &&
                       engine.verdict == RegisterVerdict::Ok && quick && frames.size() == 1 &&
                       frames.first().checksumOk);
    }
}
