#include "simulator.h"

#include "busframe.h"
#include "hextext.h"
#include "networktable.h"

#include <algorithm>

namespace bussim {

namespace {
// Another exchange on the bus: a presence poll of board 05 from a second master.
const QByteArray ForeignTraffic = QByteArray::fromHex("F0050106");

// The clock a synchronisation carries, as the synchroniser would read it.
QString SyncText(const Request &request)
{
    const QList<int> &p = request.payload;
    if (request.command == FullSync && p.size() >= 7)
        return QStringLiteral("full sync: weekday %1, %2:%3:%4, status %5, zone %6")
            .arg(p[1])
            .arg(HexByte(p[2]), HexByte(p[3]), HexByte(p[4]), HexByte(p[5]), HexByte(p[6]));
    if (p.size() >= 2)
        return QStringLiteral("status and zone sync: zone %1, status %2")
            .arg(HexByte(p[0]), HexByte(p[1]));
    return QStringLiteral("sync command %1").arg(HexByte(request.command));
}

// A reply as it goes on the wire: start byte, address, code, the payload
// stuffed, checksum.
QByteArray Frame(int address, int code, const QList<int> &payload)
{
    FrameBuilder builder(ReplyStart, address, code);
    for (int value : payload)
        builder.stuffed(value);
    return builder.finish().value_or(QByteArray());
}

// Spends one use of a fault; false when it has none left.
bool Spend(Fault &fault)
{
    if (fault.count == 0)
        return false;
    if (fault.count > 0)
        --fault.count;
    return true;
}
} // namespace

std::optional<std::pair<int, QList<int>>> Simulator::answer(Controller &c, const Request &request,
                                                            QString *event)
{
    const QList<int> &p = request.payload;
    const auto cell = [&](int offset) {
        return static_cast<size_t>((p[0] + offset) & 0xFF);
    };
    const auto count = static_cast<int>(c.registers.size());
    const QList<int> done;
    switch (request.command) {
    case PresencePoll:
        return std::pair{int(ReplyDone), done};
    case ReadMemoryCell:
        return std::pair{int(ReplyMemoryCell), QList<int>{p[0], c.memory[cell(0)]}};
    case WriteMemoryCell:
        c.memory[cell(0)] = static_cast<quint8>(p[1]);
        return std::pair{int(ReplyDone), done};
    case ReadMemoryBlock: {
        QList<int> data{p[0]};
        for (int i = 0; i < 8; ++i)
            data.append(c.memory[cell(i)]);
        return std::pair{int(ReplyMemoryBlock), data};
    }
    case WriteMemoryBlock:
        for (int i = 0; i < 8; ++i)
            c.memory[cell(i)] = static_cast<quint8>(p[1 + i]);
        return std::pair{int(ReplyDone), done};
    case ReadRegisterBlock: {
        if (p[0] >= count)
            return std::nullopt;
        QList<int> data{p[0]};
        for (quint8 b : c.registers[p[0]])
            data.append(b);
        return std::pair{int(ReplyRegisterBlock), data};
    }
    case WriteRegisterBlock:
        if (p[0] >= count)
            return std::nullopt;
        for (int i = 0; i < 8; ++i)
            c.registers[p[0]][static_cast<size_t>(i)] = static_cast<quint8>(p[1 + i]);
        return std::pair{int(ReplyDone), done};
    case WriteRegisterCell:
        // Register, byte within it, value.
        if (p[0] >= count || p[1] >= 8)
            return std::nullopt;
        c.registers[p[0]][static_cast<size_t>(p[1])] = static_cast<quint8>(p[2]);
        return std::pair{int(ReplyDone), done};
    case AuxiliaryCommand:
        *event = QStringLiteral("auxiliary %1 %2").arg(HexByte(p[0]), HexByte(p[1]));
        return std::pair{int(ReplyDone), done};
    case ActionCommand:
        if (c.address == AnnouncerAddress && p[0] == PlayScenario)
            *event = QStringLiteral("scenario %1 played").arg(HexByte(p[1]));
        else if (IndicatorNumber(c.address) && p[0] == RunTask)
            *event = QStringLiteral("task %1 run").arg(HexByte(p[1]));
        else
            *event = QStringLiteral("action %1 %2").arg(HexByte(p[0]), HexByte(p[1]));
        return std::pair{int(ReplyDone), done};
    default:
        return std::nullopt; // a command this controller does not know
    }
}

Response Simulator::respond(const Request &request)
{
    Response response;
    if (!request.checksumOk)
        return response;
    if (request.address == SyncAddress) {
        response.event = SyncText(request);
        return response;
    }
    Controller *c = m_network.find(request.address);
    if (!c || c->absent)
        return response;
    auto answered = answer(*c, request, &response.event);
    if (!answered)
        return response;
    // Named variables, not a structured binding: the fault lambda below
    // captures them, which clang before 16 refuses for bindings.
    int code = answered->first;
    QList<int> payload = answered->second;
    // Only the answer to a register read can be for another register; a
    // reply-code fault before it in the list must not make another answer
    // look like one (its payload holds no register number).
    const bool registerRead = code == ReplyRegisterBlock && !payload.isEmpty();

    int address = c->address;
    qint64 delayMs = 0; // the sum of the controller's delays, before it is bounded
    int splitAt = -1;
    int gapMs = 0;
    bool foreign = false;
    int checksumOffset = 0;
    // Puts one fault into the reply; false when the reply is not sent at all.
    const auto spoil = [&](const Fault &fault) {
        switch (fault.kind) {
        case Fault::Kind::Silent:
            return false;
        case Fault::Kind::BadChecksum:
            checksumOffset = fault.value > 0 ? fault.value : 1;
            break;
        case Fault::Kind::Split:
            splitAt = fault.value;
            gapMs = fault.gapMs;
            break;
        case Fault::Kind::Foreign:
            foreign = true;
            break;
        case Fault::Kind::OtherRegister: {
            const int other = payload[0] + 1;
            payload = {other};
            for (int i = 0; i < 8; ++i)
                payload.append(
                    other < c->registers.size() ? c->registers[other][static_cast<size_t>(i)] : 0);
            break;
        }
        case Fault::Kind::OtherAddress:
            address = (address + 1) & 0xFF;
            break;
        case Fault::Kind::ReplyCode:
            code = fault.value;
            break;
        case Fault::Kind::Delay:
            delayMs += fault.value;
            break;
        }
        return true;
    };
    for (Fault &fault : c->faults) {
        if (fault.kind == Fault::Kind::OtherRegister && !registerRead)
            continue; // only a register read can be answered for another register
        if (Spend(fault) && !spoil(fault))
            return response;
    }
    // Then, for a reply that would go out, one fault drawn for the whole network.
    if (RandomFaults *random = m_network.randomFaults()) {
        const auto length = static_cast<int>(Frame(address, code, payload).size());
        if (const auto drawn = random->draw(length, registerRead)) {
            response.fault = FaultText(*drawn);
            if (!spoil(*drawn))
                return response;
        }
    }

    QByteArray reply = Frame(address, code, payload);
    if (checksumOffset != 0 && !reply.isEmpty())
        reply.back() = static_cast<char>(reply.back() + checksumOffset);
    if (foreign)
        reply.prepend(ForeignTraffic);
    // However many delays add up, and whatever a fault set by hand holds, a
    // pause is no longer than the longest a fault may ask for.
    const auto pause = [](qint64 ms) {
        return static_cast<int>(std::clamp<qint64>(ms, 0, Fault::MaxPauseMs));
    };
    if (splitAt > 0 && splitAt < reply.size()) {
        response.pieces = {Piece{pause(delayMs), reply.first(splitAt)},
                           Piece{pause(gapMs), reply.sliced(splitAt)}};
    } else {
        response.pieces = {Piece{pause(delayMs), reply}};
    }
    return response;
}

} // namespace bussim
