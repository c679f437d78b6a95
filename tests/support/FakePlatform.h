#pragma once

#include "platform/Platform.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <functional>
#include <vector>

namespace anunciel::test {

// A clock that only moves when told to.
class FakeClock final : public Clock
{
public:
    QTime time{14, 29, 59, 600};
    QDate date{2026, 12, 8};
    // Format used for the long time text; the system's long format when empty.
    QString longFormat = QStringLiteral("HH:mm:ss");

    QTime now() const override { return time; }
    QDate today() const override { return date; }
    QString longTimeText() const override
    {
        return longFormat.isEmpty() ? QLocale::system().toString(time, QLocale::LongFormat)
                                    : time.toString(longFormat);
    }
    void set(int h, int m, int s, int ms = 0) { time = QTime(h, m, s, ms); }
    // Moving past midnight turns the date too.
    void advance(int ms)
    {
        const QDateTime moved = QDateTime(date, time).addMSecs(ms);
        date = moved.date();
        time = moved.time();
    }
};

// A pause that moves the fake clock instead of sleeping, and remembers each pause.
class FakePause final : public Pause
{
public:
    explicit FakePause(FakeClock &clock) : m_clock(clock) {}
    std::vector<int> pauses;
    void pause(int ms) override
    {
        pauses.push_back(ms);
        m_clock.advance(ms);
    }

private:
    FakeClock &m_clock;
};

// Records every box and answers from a script; `whileOpen` runs as if the box were open
// (other ticks firing meanwhile, say).
class FakeBoxes final : public MessageBoxes
{
public:
    struct Shown
    {
        enum class Kind
        {
            Ok,
            Question,
            Fatal
        } kind;
        QString text;
        QString caption;
        Icon icon;
        qint64 number = 0;
    };
    std::vector<Shown> shown;
    std::deque<bool> answers; // for question(); No when empty
    std::function<void(const Shown &)> whileOpen;

    void ok(QWidget *, const QString &text, const QString &caption, Icon icon) override
    {
        open({Shown::Kind::Ok, text, caption, icon});
    }
    bool question(QWidget *, const QString &text, const QString &caption) override
    {
        open({Shown::Kind::Question, text, caption, Icon::Question});
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void fatal(QWidget *, qint64 number, const QString &description) override
    {
        open({Shown::Kind::Fatal, description, programTitle(), Icon::Critical, number});
    }
    QStringList texts() const
    {
        QStringList list;
        for (const Shown &s : shown)
            list << s.text;
        return list;
    }

private:
    void open(const Shown &s)
    {
        shown.push_back(s);
        if (whileOpen)
            whileOpen(s);
    }
};

class FakeDesktop final : public Desktop
{
public:
    int beeps = 0;
    std::vector<QUrl> opened;
    QString folder = QStringLiteral("/station");
    QString exeName = QStringLiteral("anunciel");

    void beep() override { ++beeps; }
    void openUrl(const QUrl &url) override { opened.push_back(url); }
    QString programFolder() const override { return folder; }
    QString executableName() const override { return exeName; }
};

// Keeps the log's lines instead of writing them. A line given its moment starts with that
// time of day, as the window's lines read on a terminal; `stamps` keeps the full moments.
class FakeLog final : public Log
{
public:
    QStringList lines;
    std::vector<QDateTime> stamps; // one per lineAt(), in order
    void line(const QString &text) override { lines << text; }
    void lineAt(const QDateTime &at, const QString &text) override
    {
        stamps.push_back(at);
        lines << at.time().toString(QStringLiteral("HH:mm:ss")) + u' ' + text;
    }
};

// Everything a window needs, faked.
struct FakePlatform
{
    FakeClock clock;
    FakePause pause{clock};
    FakeBoxes boxes;
    FakeDesktop desktop;
    FakeLog log;

    Platform platform() { return {&clock, &pause, &boxes, &desktop, &log}; }
};

} // namespace anunciel::test
