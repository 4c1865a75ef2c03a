#pragma once

#include <QString>

#include <array>
#include <chrono>

// The twenty controllers the system loader knows, always handled in this
// order: the selection scan of both runs, the image file and the ticking at
// start-up all go from the first slot to the last.
struct ControllerSlot
{
    int address;          // BusAddress
    int registerCount;    // registers of 8 bytes: bus register numbers 0 .. count - 1
    const char *checkBox; // object name of the slot's check box
    QString caption;      // the check box's caption
    QString header;       // header text in the image file, before the address
};

inline constexpr int SlotCount = 20;
inline constexpr int MaxRegisters = 60;
inline constexpr int RegisterBytes = 8;
// Registers of all twenty slots together: one request each in a whole run.
inline constexpr int TotalRegisters = 744;

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
} // namespace SysloadText
