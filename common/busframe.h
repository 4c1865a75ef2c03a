#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <array>
#include <optional>

class ReplyBuffer;

// The frame rules of the controller bus. A request is F0, address, command,
// payload, checksum; a reply is F8, address, reply code, payload, checksum.
// A payload byte F0 is followed on the wire by the stuffing byte 11; header
// and checksum bytes go as they are. The checksum is the sum of every byte
// after the start byte (stuffing bytes included) modulo 256.

inline constexpr int RequestStart = 0xF0;
inline constexpr int ReplyStart = 0xF8;
inline constexpr int StuffByte = 0x11;
// Target of the two synchronisation commands; no controller answers to it.
inline constexpr int SyncAddress = 0x10;

// Command codes. The synchronisation commands reuse 06 and 02: only the
// address 10 tells them from the memory writes.
enum Command : int
{
    PresencePoll = 0x01,
    WriteMemoryCell = 0x02,
    ReadMemoryBlock = 0x03,
    ReadMemoryCell = 0x04,
    WriteMemoryBlock = 0x06,
    ReadRegisterBlock = 0x07,
    WriteRegisterBlock = 0x08,
    AuxiliaryCommand = 0x09,
    ActionCommand = 0x0A,
    WriteRegisterCell = 0x0B,
    FullSync = 0x06,
    StatusZoneSync = 0x02,
};

// First action byte of an ActionCommand: what the controller is to do with
// the second.
enum Action : int
{
    RunTask = 0xD0,      // an indicator runs the task slot that follows
    PlayScenario = 0xFF, // the announcer performs the scenario that follows
};

// Reply codes understood by the tools.
enum ReplyCode : int
{
    ReplyDone = 0x01,
    ReplyDoneAlt = 0x02,
    ReplyMemoryBlock = 0x03,
    ReplyMemoryCell = 0x04,
    ReplyRegisterBlock = 0x07,
};

// Number of payload bytes (after unstuffing) a reply code carries; empty for
// a code the tools do not know.
std::optional<int> ReplyPayloadLength(int replyCode);

// 10..59 become packed BCD (tens in the high nibble); other values go unchanged.
int ToPackedBcd(int value);

// Reduces a non-negative running checksum to the byte that goes on the wire.
int ReduceChecksum(int sum);

// Appends one payload byte to a frame on the wire and to its running
// checksum: a byte F0 is followed by the stuffing byte 11, which counts too.
// A value outside 0..255 is refused: nothing is appended and false returned.
[[nodiscard]] bool AppendStuffed(QByteArray &wire, int &runningChecksum, int value);

// Builds one frame on the wire byte by byte. The header goes as it stands;
// every later byte counts in the checksum, stuffed or not.
class FrameBuilder
{
public:
    FrameBuilder(int start, int address, int code);
    // A byte sent as it stands (never stuffed) but counted in the checksum.
    FrameBuilder &raw(int value);
    // A payload byte under the stuffing rule.
    FrameBuilder &stuffed(int value);
    // The frame with its checksum byte, which is never stuffed. Empty when
    // any value given lay outside 0..255: such a frame never goes on the wire.
    std::optional<QByteArray> finish() const;

private:
    QByteArray m_wire;
    int m_checksum = 0;
    bool m_valid = true;
};

// The byte fields a request is composed from.
struct RequestFields
{
    int cellAddress = 0; // cell address, or register number
    std::array<int, 8> data{};
    int zone = 0;
    int status = 0;
};

// The payload of a request: the bytes that go through the stuffing rule, then
// the closing zero bytes that go as they are (only a full synchronisation has them).
struct RequestPayload
{
    QList<int> stuffed;
    int closingZeros = 0;
};

// Decides the payload by the address first: to 10, code 06 is the full
// synchronisation (FF, weekday, hour, minute, second in BCD, status, zone,
// 00, 00, from `now`) and any other code the status-and-zone synchronisation
// (zone, status); to any other address the code alone decides.
RequestPayload ComposePayload(int address, int command, const RequestFields &fields,
                              const QDateTime &now);

// The whole request on the wire. Empty when the address, the command or a
// payload byte lies outside 0..255: such a value never goes on the wire.
std::optional<QByteArray> ComposeRequest(int address, int command, const RequestFields &fields,
                                         const QDateTime &now);

// The outcome of one exchange, in the order the checks are made.
enum class Verdict
{
    NoReply,          // nothing came, or a reply from another address
    ForeignTraffic,   // bytes came, but not a reply: the request is sent again
    UnknownReplyCode, // a reply code the tools do not know
    ChecksumMismatch, // the reply's checksum byte disagrees with its bytes
    Ok,
};

struct ReplyJudgement
{
    Verdict verdict = Verdict::NoReply;
    int replyCode = 0;
    int address = 0;
    QList<int> payload; // unstuffed; filled only for Verdict::Ok
};

// Judges what stands in the reply buffer after the wait for a request sent to
// requestAddress; receiveOffset 0 means nothing was received.
ReplyJudgement JudgeReply(const ReplyBuffer &buffer, int receiveOffset, int requestAddress);

// A write, an action or a presence poll is acknowledged by a reply that
// begins F8, the controller's address, 01; nothing after that is examined.
// receiveOffset 0 means nothing was received.
bool IsAcknowledgement(const ReplyBuffer &buffer, int receiveOffset, int address);

// What a run of bytes seen on the bus is, as far as the frame rules tell.
enum class FrameKind
{
    Request,
    Reply,
    NotFrame, // foreign bytes, a fragment, or a frame the rules cannot size
};

// One frame taken apart, or a run of bytes that forms none.
struct DecodedFrame
{
    FrameKind kind = FrameKind::NotFrame;
    QByteArray wire;    // the bytes as they stood on the bus
    int address = -1;   // frames only
    int code = -1;      // the command of a request, the reply code of a reply
    QList<int> payload; // stuffing removed; a full synchronisation's closing zeros included
    bool checksumOk = false;
};

// Splits bytes seen on the bus into the frames they hold and the runs of bytes
// between them that form no frame. A request is sized by its address and
// command, a reply by its reply code; a frame cut short, a start byte with a
// code the bus does not know, or a stuffing byte other than 11 form no frame.
// A complete frame whose checksum disagrees is a frame with a bad checksum.
QList<DecodedFrame> DecodeTraffic(const QByteArray &bytes);

// The name of a request's command ("опрос наличия"); the address tells the
// synchronisations from the memory writes. Empty for a code the bus does not know.
QString CommandName(int address, int command);
// The name of a reply code ("выполнено"); empty for a code the tools do not know.
QString ReplyCodeName(int replyCode);
// One line for an installer: "запрос 9C опрос наличия", "ответ 9C выполнено:
// 01 02, сумма неверна", "не кадр".
QString DescribeFrame(const DecodedFrame &frame);
