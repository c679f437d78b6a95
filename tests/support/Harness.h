#pragma once

// A station and its main window wired to fake platform services and a link of the test's
// choosing (a fake one unless told otherwise), with the window's controls found by their
// design names and pressed as the operator presses them.

#include "FakeLink.h"
#include "FakePlatform.h"
#include "WorkingFolder.h"
#include "app/MainWindow.h"
#include "core/Station.h"
#include "settings/StationSettings.h"
#include "core/SecondTimer.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace anunciel::test {

struct Harness
{
    FakePlatform fake;
    FakeLink *link = nullptr; // the fake link, once start() has made it; owned by the station
    std::unique_ptr<Station> station;
    std::unique_ptr<MainWindow> window;

    // A station whose link is a FakeLink.
    Harness() { make(fake.platform(), fakeLinkFactory()); }
    // The same, writing its log to `log` (the real log file, say) instead of the fake one.
    explicit Harness(Log &log)
    {
        Platform platform = fake.platform();
        platform.log = &log;
        make(platform, fakeLinkFactory());
    }
    // A station whose link `factory` makes (or fails to make).
    explicit Harness(LinkFactory factory) { make(fake.platform(), std::move(factory)); }
    ~Harness()
    {
        window.reset();
        station.reset();
    }

    void make(const Platform &platform, LinkFactory factory)
    {
        station = std::make_unique<Station>(platform, std::move(factory));
        window = std::make_unique<MainWindow>(*station, platform);
    }

    // Starts the station as the program does: the settings file of the working folder read
    // once and handed to it.
    bool start() { return station->start(readStationSettings()); }

    // A factory that fails as creating an unregistered automation class does.
    static LinkFactory unregisteredClass()
    {
        return [] {
            return LinkCreation{
                nullptr, LinkStatus::failure(std::int32_t(0x80040154u), "Classe não registrada")};
        };
    }

    MainWindow &w() { return *window; }
    Station &s() { return *station; }

    LinkFactory fakeLinkFactory()
    {
        return [this] {
            auto made = std::make_unique<FakeLink>();
            link = made.get();
            return LinkCreation{std::move(made), LinkStatus::success()};
        };
    }

    // Shows the window and waits until it is the active one, as a window system makes a new
    // window; false if it never became so.
    bool showActive()
    {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }

    // ---- controls by design name --------------------------------------------------------
    template <typename W> W *control(const QString &name)
    {
        W *found = window->findChild<W *>(name);
        if (!found)
            qFatal("the main window has no control %s", qPrintable(name));
        return found;
    }
    static QString slotName(const char *column, int slot)
    {
        return QLatin1String(column) + QString::number(slot + 1);
    }
    // Slots are 0-based, as inside the program; the design numbers them from 1.
    QCheckBox *enabled(int slot) { return control<QCheckBox>(slotName("Check", slot)); }
    QLineEdit *time(int slot) { return control<QLineEdit>(slotName("hora", slot)); }
    QLineEdit *fileName(int slot) { return control<QLineEdit>(slotName("msg", slot)); }
    QPushButton *button(const QString &name) { return control<QPushButton>(name); }
    QLineEdit *clock() { return control<QLineEdit>(QStringLiteral("Text1")); }
    QLabel *label(const QString &name) { return control<QLabel>(name); }
    SecondTimer *secondTimer() { return timer<SecondTimer>(QStringLiteral("Timer1")); }
    QTimer *linkStateTimer() { return timer<QTimer>(QStringLiteral("Timer2")); }
    template <typename T> T *timer(const QString &name)
    {
        T *found = station->findChild<T *>(name);
        if (!found)
            qFatal("the station has no timer %s", qPrintable(name));
        return found;
    }

    // The enable boxes' states, slot 1 first: "X" ticked, "-" grayed, "." clear.
    QString enabledStates()
    {
        QString s;
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const Qt::CheckState state = enabled(slot)->checkState();
            s += state == Qt::Checked ? u'X' : state == Qt::PartiallyChecked ? u'-' : u'.';
        }
        return s;
    }

    // ---- what the operator does -----------------------------------------------------------
    void press(const QString &buttonName) { QTest::mouseClick(button(buttonName), Qt::LeftButton); }
    void sendNow(int slot) { press(slotName("envia", slot)); }
    void toggle(int slot) { QTest::mouseClick(enabled(slot), Qt::LeftButton); }
    // A slot set up as an operator leaves it: time, file name, box ticked.
    void setSlot(int slot, const QString &time, const QString &file)
    {
        this->time(slot)->setText(time);
        fileName(slot)->setText(file);
        enabled(slot)->setCheckState(Qt::Checked);
    }

    // ---- time ------------------------------------------------------------------------------
    // Delivers the tick of `secondOfDay` (0..86399) as the wall-clock timer does: just after
    // that second begins, or at once if a send has already carried the clock past it. The
    // clock is never moved back here.
    void tickAt(int secondOfDay)
    {
        const int due = secondOfDay * 1000 + SecondTimer::kLeadMs;
        const int diff = fake.clock.time.msecsSinceStartOfDay() - due;
        if (diff > 12 * 3600 * 1000) // still on the day before: the next day begins
            fake.clock.date = fake.clock.date.addDays(1);
        if (diff < 0 || diff > 12 * 3600 * 1000)
            fake.clock.time = QTime::fromMSecsSinceStartOfDay(due);
        station->onSecond();
    }
    void tickAt(int h, int m, int s) { tickAt(h * 3600 + m * 60 + s); }
};

// For window tests: a fresh working folder, which is also the program folder, and a main
// window on fake services in it; whatever the two held before goes first, window first.
inline void freshWindowInFolder(std::unique_ptr<WorkingFolder> &folder,
                                std::unique_ptr<Harness> &harness)
{
    harness.reset();
    folder.reset();
    folder = std::make_unique<WorkingFolder>();
    harness = std::make_unique<Harness>();
    harness->fake.desktop.folder = folder->nativePath();
}

} // namespace anunciel::test
