#include "busframe.h"

#include "replybuffer.h"

namespace {

char WireByte(int value)
{
    return static_cast<char>(static_cast<quint8>(value));
}

bool IsByte(int value)
{
    return value >= 0 && value <= 0xFF;
}

} // namespace

std::optional<int> ReplyPayloadLength(int replyCode)
{
    switch (replyCode) {
    case ReplyDone:
    case ReplyDoneAlt:
        return 0;
    case ReplyMemoryCell:
        return 2;
    case ReplyMemoryBlock:
    case ReplyRegisterBlock:
        return 9;
    default:
        return std::nullopt;
    }
}

int ToPackedBcd(int value)
{
    if (value < 10 || value > 59)
        return value;
    return value + 6 * (value / 10);
}

int ReduceChecksum(int sum)
{
    return sum % 256;
}

bool AppendStuffed(QByteArray &wire, int &runningChecksum, int value)
{
    if (!IsByte(value))
        return false;
    runningChecksum += value;
    wire.append(WireByte(value));
    if (value == RequestStart) {
        runningChecksum += StuffByte;
        wire.append(WireByte(StuffByte));
    }
    return true;
}

FrameBuilder::FrameBuilder(int start, int address, int code)
    : m_checksum(address + code), m_valid(IsByte(start) && IsByte(address) && IsByte(code))
{
    m_wire.append(WireByte(start));
    m_wire.append(WireByte(address));
    m_wire.append(WireByte(code));
}

FrameBuilder &FrameBuilder::raw(int value)
{
    m_valid = m_valid && IsByte(value);
    m_checksum += value;
    m_wire.append(WireByte(value));
    return *this;
}

FrameBuilder &FrameBuilder::stuffed(int value)
{
    m_valid = AppendStuffed(m_wire, m_checksum, value) && m_valid;
    return *this;
}

std::optional<QByteArray> FrameBuilder::finish() const
{
    if (!m_valid)
        return std::nullopt;
    QByteArray frame = m_wire;
    frame.append(WireByte(ReduceChecksum(m_checksum)));
    return frame;
}

RequestPayload ComposePayload(int address, int command, const RequestFields &fields,
                              const QDateTime &now)
{
    const auto &d = fields.data;
    if (address == SyncAddress) {
        if (command == FullSync) {
            const QTime time = now.time();
            return {{0xFF, now.date().dayOfWeek() - 1, ToPackedBcd(time.hour()),
                     ToPackedBcd(time.minute()), ToPackedBcd(time.second()), fields.status,
                     fields.zone},
                    2};
        }
        return {{fields.zone, fields.status}, 0};
    }
    switch (command) {
    case ReadMemoryCell:
    case ReadMemoryBlock:
    case ReadRegisterBlock:
        return {{fields.cellAddress}, 0};
    case WriteMemoryCell:
        return {{fields.cellAddress, d[0]}, 0};
    case WriteMemoryBlock:
    case WriteRegisterBlock:
        return {{fields.cellAddress, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]}, 0};
    case AuxiliaryCommand:
    case ActionCommand:
        return {{d[0], d[1]}, 0};
    case WriteRegisterCell:
        return {{d[0], d[1], d[2]}, 0};
    default:
        return {};
    }
}

std::optional<QByteArray> ComposeRequest(int address, int command, const RequestFields &fields,
                                         const QDateTime &now)
{
    const RequestPayload payload = ComposePayload(address, command, fields, now);
    FrameBuilder frame(RequestStart, address, command);
    for (int value : payload.stuffed)
        frame.stuffed(value);
    for (int i = 0; i < payload.closingZeros; ++i)
        frame.raw(0);
    return frame.finish();
}

ReplyJudgement JudgeReply(const ReplyBuffer &buffer, int receiveOffset, int requestAddress)
{
    ReplyJudgement judgement;
    if (receiveOffset == 0)
        return judgement;
    if (buffer.slot(1) != ReplyStart) {
        judgement.verdict = Verdict::ForeignTraffic;
        return judgement;
    }
    judgement.address = buffer.slot(2);
    judgement.replyCode = buffer.slot(3);
    if (judgement.address != requestAddress)
        return judgement;
    const std::optional<int> length = ReplyPayloadLength(judgement.replyCode);
    if (!length) {
        judgement.verdict = Verdict::UnknownReplyCode;
        return judgement;
    }
    int readPosition = 4;
    int runningChecksum = judgement.address + judgement.replyCode;
    QList<int> payload;
    for (int i = 0; i < *length; ++i)
        payload.append(TakeReplyByte(buffer, readPosition, runningChecksum));
    if (ReduceChecksum(runningChecksum) != buffer.slot(readPosition)) {
        judgement.verdict = Verdict::ChecksumMismatch;
        return judgement;
    }
    judgement.verdict = Verdict::Ok;
    judgement.payload = payload;
    return judgement;
}

bool IsAcknowledgement(const ReplyBuffer &buffer, int receiveOffset, int address)
{
    return receiveOffset != 0 && buffer.slot(1) == ReplyStart && buffer.slot(2) == address &&
           buffer.slot(3) == ReplyDone;
}

QString VerdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::NoReply:
        return QStringLiteral("Статус:  нет ответа");
    case Verdict::ForeignTraffic:
        return QStringLiteral("Статус: запрос другой платке");
    case Verdict::UnknownReplyCode:
        return QStringLiteral("Статус: неизвестная ответная команда");
    case Verdict::ChecksumMismatch:
        return QStringLiteral("Статус: контрольная сумма не совпала ");
    case Verdict::Ok:
        return QStringLiteral("Статус:  ОК");
    }
    return {};
}
