// sysload's read of one controller on whatever the bus brings: the input
// chooses the slot and how many of its registers are read, and for every
// request the bytes that come back, cut into receive events as it likes,
// bytes that wait in the port without an event, or a well-formed reply for
// the register requested (which must then be taken into the image).
#include "busframe.h"
#include "fuzzinput.h"
#include "seriallink.h"
#include "systemloader.h"
#include "waitclock.h"

#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    EnsureApplication();
    static const QTemporaryDir dir;
    FuzzInput in(data, size);

    ScriptedPort port;
    SerialLink link(&port);
    // The wait is one event-loop pass: the queued receive events are
    // delivered, then the zero-length wait ends.
    WaitClock clock(std::chrono::milliseconds(0), QStringLiteral("Timer1"));
    SystemImage image;
    SystemLoader loader(link, clock, image, dir.filePath(QStringLiteral("sysload.txt")));
    QStringList lines;
    QObject::connect(&loader, &SystemLoader::statusChanged, &loader,
                     [&lines](const QString &text) { lines.append(text); });

    const int slot = in.byte() % SlotCount;
    const ControllerSlot &controller = ControllerSlots()[static_cast<std::size_t>(slot)];
    const int count = 1 + in.byte() % controller.registerCount;
    // Values no reply can carry: a register the run leaves alone keeps them.
    for (int n = 0; n < MaxRegisters; ++n)
        image.at(slot, n).fill(-7);

    // Late bytes wait in the port before the run.
    port.waiting = in.take(in.byte() % 16);

    int requested = -1;
    std::optional<RegisterValues> built; // the well-formed reply to the latest request
    port.onWrite = [&] {
        ++requested;
        built.reset();
        const int how = in.byte();
        if (how < 0x40) {
            FrameBuilder reply(ReplyStart, controller.address, ReplyRegisterBlock);
            reply.raw(requested);
            RegisterValues values{};
            for (qint16 &v : values) {
                v = static_cast<qint16>(in.byte());
                reply.stuffed(v);
            }
            port.queueEvent(reply.finish().value_or(QByteArray()));
            if (port.waiting.isEmpty())
                built = values;
            return;
        }
        if (how < 0x60) // bytes without an event: taken with the next one
            port.waiting += in.take(in.byte() % 32);
        for (const QByteArray &event : TakeEvents(in, 4))
            port.queueEvent(event);
    };

    // The script decides each register's reply as its request goes out, so
    // the expectation is checked through the status line of that register.
    QList<std::optional<RegisterValues>> builtFor;
    QObject::connect(&loader, &SystemLoader::statusChanged, &loader,
                     [&](const QString &) { builtFor.append(built); });

    FUZZ_CHECK(loader.ReadController(controller.address, count, slot));
    FUZZ_CHECK(requested == count - 1);
    FUZZ_CHECK(lines.size() == count);
    FUZZ_CHECK(link.awaitingReply() == 0);

    int errors = 0;
    for (int n = 0; n < count; ++n) {
        const RegisterValues &values = image.at(slot, n);
        const bool ok = lines.at(n) == SysloadText::ReadLine(controller.address, n, true);
        if (!ok) {
            ++errors;
            FUZZ_CHECK(lines.at(n) == SysloadText::ReadLine(controller.address, n, false));
            FUZZ_CHECK(!builtFor.at(n));
            for (qint16 v : values)
                FUZZ_CHECK(v == -7);
            continue;
        }
        for (qint16 v : values)
            FUZZ_CHECK(v >= 0 && v <= 0xFF);
        if (builtFor.at(n))
            FUZZ_CHECK(values == *builtFor.at(n));
    }
    FUZZ_CHECK(loader.errorCount() == errors);
    for (int n = count; n < MaxRegisters; ++n)
        for (qint16 v : image.at(slot, n))
            FUZZ_CHECK(v == -7);
    return 0;
}
