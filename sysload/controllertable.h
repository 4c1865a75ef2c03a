#pragma once

#include "networktable.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <chrono>

// The controllers the system loader knows: the rows of the network that have
// a check box, in table order. They are always handled in this order: the
// selection scan of both runs, the image file and the ticking at start-up all
// go from the first slot to the last.
using ControllerSlot = ControllerRow;

constexpr bool IsLoaderSlot(const ControllerRow &controller)
{
    return !controller.sysload.checkBox.isEmpty();
}

inline constexpr int SlotCount = int(std::ranges::count_if(NetworkTable, IsLoaderSlot));
// The registers of the largest slot: the image keeps that many for every slot.
inline constexpr int MaxRegisters = [] {
    int most = 0;
    for (const ControllerRow &controller : NetworkTable)
        if (IsLoaderSlot(controller))
            most = std::max(most, controller.registerCount);
    return most;
}();
inline constexpr int RegisterBytes = 8;

const std::array<ControllerSlot, SlotCount> &ControllerSlots();

// The loader's own texts, exactly as the installer sees them.
namespace SysloadText {
QString WindowTitle();   // caption of the window
QString ProgramTitle();  // title of the loader's message boxes
QString Heading();       // Label1
QString ReadButton();    // Command1
QString WriteButton();   // Command2
QString StatusInitial(); // the StatusLine when the window opens
QString StatusReset();   // "Статус:" and 63 blanks, after a run
QString MissingFile();   // the message box when the image file cannot be loaded
QString FileName();      // "sysload.txt"

QString ReadLine(int address, int registerNumber, bool ok);
QString WriteLine(int address, int registerNumber, bool ok);
QString ErrorCount(int errorCount);

// Beside the form: the verify button, the quick exchange, the stop.
QString VerifyButton(); // "сверить систему с файлом"
QString QuickBox();     // "быстро"
QString StopButton();   // "Стоп"
QString Progress(int done, int total, int errors, std::chrono::milliseconds left);
QString TimeLeft(std::chrono::milliseconds left); // "4:59"
QString ReadStopped(int done, int total, int errors);
QString WriteStopped(int address, int registerNumber, int done, int total, int errors);
QString VerifyStopped(int done, int total);
QString VerifyDone(const QString &summary);

// Registers whose value in the file was not read from the house, and a value
// that is no byte.
QString UnreadBox(); // "записывать непрочитанные"
// The read run's end once the file is written: where a file that did not
// load was kept, and how many registers were not read; else StatusReset().
QString ReadSaved(const QString &kept, int unreadCount, const QString &recordName);
// Before a write run: `count` registers of the ticked controllers, in
// `lines` (RegisterLines()), hold no value of the house; written or skipped.
QString UnreadInFile(int count, const QStringList &lines, bool written);
QString WriteSkipped(int count);
// The write line of a register not sent: byte 1..8 of it holds `value`.
QString WriteNotByte(int address, int registerNumber, int byte, int value);

// A run button pressed while a run is under way.
QString RunBusy();
} // namespace SysloadText
