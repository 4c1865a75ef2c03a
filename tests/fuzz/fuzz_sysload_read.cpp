// sysload's read of one controller on whatever the bus brings: the input
// chooses the slot and how many of its registers are read, and for every
// request the bytes that come back, cut into receive events as it likes,
// bytes that wait in the port without an event, or a well-formed reply for
// the register requested (which must then be taken into the image).
#include "fuzzinput.h"
#include "seriallink.h"
#include "systemloader.h"
#include "waitclock.h"

#include <QStringList>
#include <QTemporaryDir>

#include <chrono>

void FuzzOne(FuzzInput &in)
{
    static const QTemporaryDir dir;
    ScriptedPort port(in);
    SerialLink link(&port);
    // The wait is one event-loop pass: the queued receive events are
    // delivered, then the zero-length wait ends.
    WaitClock clock(std::chrono::milliseconds(0), QStringLiteral("Timer1"));
    SystemImage image;
    SystemLoader loader(link, clock, image, dir.filePath(QStringLiteral("sysload.txt")));

    const int slot = in.byte() % SlotCount;
    const ControllerSlot &controller = ControllerSlots()[static_cast<std::size_t>(slot)];
    const int count = 1 + in.byte() % controller.registerCount;
    // Values no reply can carry: a register the run leaves alone keeps them.
    for (int n = 0; n < MaxRegisters; ++n)
        image.at(slot, n).fill(-7);
    // Late bytes wait in the port before the run.
    port.waiting = in.take(in.byte() % 16);

    // The script decides each register's reply as its request goes out, so
    // the expectation is checked through the status line of that register.
    QStringList lines;
    port.reply = [&](int) {
        return BuildReply(in, controller.address, ReplyRegisterBlock, {int(lines.size())});
    };
    QList<std::optional<QList<int>>> builtFor;
    QObject::connect(&loader, &SystemLoader::statusChanged, &loader, [&](const QString &text) {
        lines.append(text);
        builtFor.append(port.built);
    });

    FUZZ_CHECK(loader.ReadController(controller.address, count, slot));
    FUZZ_CHECK(port.written.size() == 5 * count); // one request per register
    FUZZ_CHECK(lines.size() == count);
    FUZZ_CHECK(link.awaitingReply() == 0);

    const auto untouched = [&](int n) {
        return std::ranges::all_of(image.at(slot, n), [](qint16 v) { return v == -7; });
    };
    int errors = 0;
    for (int n = 0; n < count; ++n) {
        const RegisterValues &values = image.at(slot, n);
        if (lines.at(n) != SysloadText::ReadLine(controller.address, n, true)) {
            ++errors;
            FUZZ_CHECK(lines.at(n) == SysloadText::ReadLine(controller.address, n, false));
            FUZZ_CHECK(!builtFor.at(n) && untouched(n));
            continue;
        }
        FUZZ_CHECK(AllBytes(values));
        if (builtFor.at(n))
            FUZZ_CHECK(QList<int>(values.begin(), values.end()) == builtFor.at(n)->mid(1));
    }
    FUZZ_CHECK(loader.errorCount() == errors);
    for (int n = count; n < MaxRegisters; ++n)
        FUZZ_CHECK(untouched(n));
}
