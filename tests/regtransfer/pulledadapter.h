#pragma once

// A run of the register engine with the adapter pulled while request
// `requests` is on its way: the run ends at once with the port's failure on
// the status line and both timers stopped, and a later write run says why it
// cannot start. `read(n)` hears of every register the run reports as read
// ("in--n"): only those may differ from what the tool held before, since a
// reply that a loaded machine judged too late is reported otherwise.
#include "registertransfer.h"
#include "simharness.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTest>

#include <functional>
#include <memory>

inline void RunUntilPulled(std::unique_ptr<SimHarness> &sim, qsizetype requests, int address,
                           QWidget *window, const RegisterTransfer &engine, const char *button,
                           const char *writeButton, const std::function<void(int)> &read)
{
    const QString device = sim->device();
    QObject::connect(&engine, &RegisterTransfer::statusChanged, window,
                     [read](const QString &text) {
                         if (const int n = text.section(QStringLiteral("in--"), 1).toInt(); n > 0)
                             read(n);
                     });
    PullAdapterAt(sim, requests, address, window);
    window->findChild<QAbstractButton *>(QLatin1StringView(button))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!sim, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!engine.isActive(), 5000);
    QVERIFY(!engine.Timer1().isActive() && !engine.Timer2().isActive());
    const auto *status = window->findChild<QLabel *>(QStringLiteral("Label_s"));
    const QString failed =
        QStringLiteral("Порт %1 отказал и закрыт: устройство отключено").arg(device);
    QCOMPARE(status->text(), QStringLiteral("Статус: обмен прерван: ") + failed);
    window->findChild<QAbstractButton *>(QLatin1StringView(writeButton))->click();
    QCOMPARE(status->text(), QStringLiteral("Статус: запись в контроллер не начата: ") + failed);
}
