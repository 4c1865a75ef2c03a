#pragma once

// What the sysload suites share: the image file's bytes, controllers filled
// with distinct values and their backup, and a started window, driven by
// object name, whose status texts and message boxes are recorded.
#include "mainwindow.h"
#include "simharness.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>

#include <random>

using namespace std::chrono_literals;

// The wait unit of the runs whose replies are judged. The simulator answers
// in this same thread within a few milliseconds, but on two cores busy with a
// build the test process is now and then held off for 10 to 30 ms; a reply
// that misses its wait is read in front of the next one, so one stall fails a
// run of registers. 40 ms keeps the reply inside its wait through such stalls.
constexpr auto TestUnit = 40ms;

inline QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every register of the given controllers filled from a fixed generator, F0
// in one byte of `f0Every`, no other byte 0 (so that a backup marks each
// controller present).
inline void Fill(bussim::Network &network, const QList<int> &addresses, quint32 seed,
                 unsigned f0Every = 8)
{
    std::mt19937 bytes(seed);
    for (int address : addresses)
        for (bussim::Register &reg : network.registers(address))
            for (quint8 &byte : reg)
                byte = bytes() % f0Every == 0 ? 0xF0 : quint8(1 + bytes() % 255);
}

// The image a backup of these controllers gives.
inline SystemImage ImageOf(bussim::Network &network, const QList<int> &addresses)
{
    SystemImage image;
    for (int slot = 0; slot < SlotCount; ++slot) {
        const ControllerSlot &c = ControllerSlots()[std::size_t(slot)];
        for (int n = 0; addresses.contains(c.address) && n < c.registerCount; ++n)
            std::copy_n(network.registers(c.address)[n].begin(), 8, image.at(slot, n).begin());
    }
    return image;
}

class RecordedWindow : public MainWindow
{
public:
    explicit RecordedWindow(const SysloadOptions &options) : MainWindow(options)
    {
        connect(&loader(), &SystemLoader::statusChanged, this,
                [this](const QString &text) { lines << text; });
        setMessageHook([this](QMessageBox &box) {
            boxes << QStringList{box.windowTitle(), box.text(),
                                 QString::number(box.buttons().size())};
            return answer ? answer(int(boxes.size())) : int(QMessageBox::Cancel);
        });
        Form_Load();
    }
    void press(const char *name) { findChild<QAbstractButton *>(QLatin1String(name))->click(); }
    QString status() const { return findChild<QLabel *>(QStringLiteral("Label2"))->text(); }

    QStringList lines;                    // every status text a run has put up
    QList<QStringList> boxes;             // title, text, buttons of each message box shown
    std::function<int(int shown)> answer; // unset: Cancel
};
