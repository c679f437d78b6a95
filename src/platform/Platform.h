#pragma once

// Seams for every service the program takes from the system, so that the behaviour can be
// driven by tests without a display, a sound card or real time passing.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

class QWidget;
class QUrl;

namespace anunciel {

class Clock
{
public:
    virtual ~Clock() = default;
    // Time of day, to the millisecond.
    virtual QTime now() const = 0;
    // Today's date, for the station log and for what spans midnight.
    virtual QDate today() const = 0;
    // The time of day in the system's long time format, as it comes.
    virtual QString longTimeText() const = 0;

    // Eight characters, "HH:mm:ss" on the 24-hour clock.
    QString timeText() const { return now().toString(QStringLiteral("HH:mm:ss")); }
    QDateTime dateTime() const { return QDateTime(today(), now()); }
};

// Blocks the calling (user-interface) thread.
class Pause
{
public:
    virtual ~Pause() = default;
    virtual void pause(int ms) = 0;
};

class MessageBoxes
{
public:
    enum class Icon
    {
        NoIcon,
        Information,
        Warning,
        Critical,
        Question
    };

    virtual ~MessageBoxes() = default;
    // A box with an OK button only.
    virtual void ok(QWidget *parent, const QString &text, const QString &caption, Icon icon) = 0;
    // Yes/No with the question icon and No as the default; true for Yes.
    virtual bool question(QWidget *parent, const QString &text, const QString &caption) = 0;
    // The report of an error the program cannot go on after.
    virtual void fatal(QWidget *parent, qint64 number, const QString &description) = 0;
};

class Desktop
{
public:
    virtual ~Desktop() = default;
    virtual void beep() = 0;
    virtual void openUrl(const QUrl &url) = 0;
    // Folder holding the executable, with native separators and no trailing one unless root.
    virtual QString programFolder() const = 0;
    // The executable's file name without its extension.
    virtual QString executableName() const = 0;
};

// The station's log: one line at a time, each stamped with the date and time, on standard
// error (a terminal, a user service's journal) and in the station's log file.
class Log
{
public:
    virtual ~Log() = default;
    // Writes `text` (one line, no line end) at once, stamped with this moment.
    virtual void line(const QString &text) = 0;
    // The same, stamped with `at`: when what the line tells began (a send that took seconds).
    virtual void lineAt(const QDateTime &at, const QString &text) = 0;
};

// The set of services one window works with. Not owned.
struct Platform
{
    Clock *clock = nullptr;
    Pause *pause = nullptr;
    MessageBoxes *boxes = nullptr;
    Desktop *desktop = nullptr;
    Log *log = nullptr;
};

// The program folder and name as the running executable gives them; a screen's services
// (the bell, the web browser) do nothing.
class ScreenlessDesktop : public Desktop
{
public:
    void beep() override;
    void openUrl(const QUrl &url) override;
    QString programFolder() const override;
    QString executableName() const override;
};

// The real services without a screen: a box's text goes to the log and a question is
// answered No.
Platform systemPlatform();

// The program's title, shown on boxes that name no caption of their own.
inline QString programTitle()
{
    return QStringLiteral("Anunciel");
}

// Number and description as the fatal report shows them.
QString fatalReportText(qint64 number, const QString &description);

} // namespace anunciel
