#pragma once

// A main window wired to fake platform services and a fake link.

#include "FakeLink.h"
#include "FakePlatform.h"
#include "app/MainWindow.h"

#include <QCheckBox>
#include <QLineEdit>

#include <memory>

namespace anunciel::test {

struct Harness
{
    enum class Link
    {
        Works,
        CannotBeCreated
    };

    FakePlatform fake;
    FakeLink *link = nullptr; // owned by the window once created
    std::unique_ptr<MainWindow> window;

    explicit Harness(Link kind = Link::Works)
    {
        window = std::make_unique<MainWindow>(fake.platform(), [this, kind]() -> LinkCreation {
            if (kind == Link::CannotBeCreated)
                return {nullptr,
                        LinkStatus::failure(std::int32_t(0x80040154u), "Classe não registrada")};
            auto made = std::make_unique<FakeLink>();
            link = made.get();
            return {std::move(made), LinkStatus::success()};
        });
    }

    MainWindow &w() { return *window; }
    QLineEdit *hora(int slot) { return window->ui().hora[slot - 1]; }
    QLineEdit *msg(int slot) { return window->ui().msg[slot - 1]; }

    // Delivers the tick of `secondOfDay` (0..86399) as the wall-clock timer does: just after
    // that second begins, or at once if a send has already carried the clock past it. The
    // clock is never moved back here.
    void tickAt(int secondOfDay)
    {
        const int due = secondOfDay * 1000 + 2;
        const int diff = fake.clock.time.msecsSinceStartOfDay() - due;
        if (diff < 0 || diff > 12 * 3600 * 1000) // behind, or still on the day before
            fake.clock.time = QTime::fromMSecsSinceStartOfDay(due);
        window->Timer1_Timer();
    }
    void tickAt(int h, int m, int s) { tickAt(h * 3600 + m * 60 + s); }
};

} // namespace anunciel::test
