#include "busframe.h"

#include "hextext.h"
#include "replybuffer.h"
#include "stuffedbyte.h"

#include <utility>

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

namespace {

// Only a request's length matters to the decoder, not the clock a
// synchronisation carries.
const QDateTime ShapeClock(QDate(2000, 1, 3), QTime(0, 0));

bool IsKnownCommand(int address, int command)
{
    return !CommandName(address, command).isEmpty();
}

// The frame that starts at `start`, or nothing when the bytes there form none.
std::optional<DecodedFrame> FrameAt(const QByteArray &bytes, qsizetype start)
{
    const auto at = [&bytes](qsizetype i) {
        return static_cast<int>(static_cast<quint8>(bytes[i]));
    };
    const qsizetype size = bytes.size();
    if (size - start < 4)
        return std::nullopt;
    DecodedFrame frame;
    const int first = at(start);
    frame.address = at(start + 1);
    frame.code = at(start + 2);
    int stuffedCount = 0;
    int closingZeros = 0;
    if (first == RequestStart) {
        if (!IsKnownCommand(frame.address, frame.code))
            return std::nullopt;
        frame.kind = FrameKind::Request;
        const RequestPayload shape =
            ComposePayload(frame.address, frame.code, RequestFields{}, ShapeClock);
        stuffedCount = static_cast<int>(shape.stuffed.size());
        closingZeros = shape.closingZeros;
    } else if (first == ReplyStart) {
        const std::optional<int> length = ReplyPayloadLength(frame.code);
        if (!length)
            return std::nullopt;
        frame.kind = FrameKind::Reply;
        stuffedCount = *length;
    } else {
        return std::nullopt;
    }
    int sum = frame.address + frame.code;
    qsizetype i = start + 3;
    const auto byteAt = [&](qsizetype n) {
        return n < size ? std::optional<int>(at(n)) : std::nullopt;
    };
    for (int n = 0; n < stuffedCount; ++n) {
        const std::optional<int> value = TakeStuffedByte(Stuffing::Required, byteAt, i, sum);
        if (!value)
            return std::nullopt;
        frame.payload.append(*value);
    }
    for (int n = 0; n < closingZeros; ++n) {
        if (i >= size)
            return std::nullopt;
        frame.payload.append(at(i));
        sum += at(i++);
    }
    if (i >= size)
        return std::nullopt;
    frame.checksumOk = ReduceChecksum(sum) == at(i++);
    frame.wire = bytes.mid(start, i - start);
    return frame;
}

} // namespace

QList<DecodedFrame> DecodeTraffic(const QByteArray &bytes)
{
    QList<DecodedFrame> pieces;
    QByteArray loose;
    const auto flushLoose = [&pieces, &loose] {
        if (loose.isEmpty())
            return;
        DecodedFrame none;
        none.wire = std::exchange(loose, {});
        pieces.append(none);
    };
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (std::optional<DecodedFrame> frame = FrameAt(bytes, i)) {
            flushLoose();
            i += frame->wire.size();
            pieces.append(std::move(*frame));
            continue;
        }
        loose.append(bytes[i++]);
    }
    flushLoose();
    return pieces;
}

QString CommandName(int address, int command)
{
    if (address == SyncAddress) {
        if (command == FullSync)
            return QStringLiteral("синхронизация полная");
        if (command == StatusZoneSync)
            return QStringLiteral("синхронизация статуса и зоны");
        return {};
    }
    switch (command) {
    case PresencePoll:
        return QStringLiteral("опрос наличия");
    case WriteMemoryCell:
        return QStringLiteral("запись 1 ячейки памяти");
    case ReadMemoryBlock:
        return QStringLiteral("чтение 8 ячеек памяти");
    case ReadMemoryCell:
        return QStringLiteral("чтение 1 ячейки памяти");
    case WriteMemoryBlock:
        return QStringLiteral("запись 8 ячеек памяти");
    case ReadRegisterBlock:
        return QStringLiteral("чтение регистра");
    case WriteRegisterBlock:
        return QStringLiteral("запись регистра");
    case AuxiliaryCommand:
        return QStringLiteral("дополнительная");
    case ActionCommand:
        return QStringLiteral("действие");
    case WriteRegisterCell:
        return QStringLiteral("запись 1 ячейки регистра");
    default:
        return {};
    }
}

QString ReplyCodeName(int replyCode)
{
    switch (replyCode) {
    case ReplyDone:
    case ReplyDoneAlt:
        return QStringLiteral("выполнено");
    case ReplyMemoryBlock:
        return QStringLiteral("8 ячеек памяти");
    case ReplyMemoryCell:
        return QStringLiteral("1 ячейка памяти");
    case ReplyRegisterBlock:
        return QStringLiteral("регистр");
    default:
        return {};
    }
}

QString DescribeFrame(const DecodedFrame &frame)
{
    if (frame.kind == FrameKind::NotFrame)
        return QStringLiteral("не кадр");
    const bool request = frame.kind == FrameKind::Request;
    QString text =
        QStringLiteral("%1 %2 %3 %4")
            .arg(request ? QStringLiteral("запрос") : QStringLiteral("ответ"),
                 HexByte(frame.address), HexByte(frame.code),
                 request ? CommandName(frame.address, frame.code) : ReplyCodeName(frame.code));
    if (!frame.payload.isEmpty())
        text += QStringLiteral(": ") + HexBytes(frame.payload);
    text += frame.checksumOk ? QStringLiteral("; сумма верна") : QStringLiteral("; сумма неверна");
    return text;
}
