#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QThread>

#include <cstdio>

namespace anunciel {

namespace {

class SystemClock final : public Clock
{
public:
    QTime now() const override { return QTime::currentTime(); }
    QDate today() const override { return QDate::currentDate(); }
    QString longTimeText() const override
    {
        return QLocale::system().toString(QTime::currentTime(), QLocale::LongFormat);
    }
};

class SystemPause final : public Pause
{
public:
    // Deliberately blocks the user-interface thread: nothing else of the window may run
    // while the transmitter is keyed.
    void pause(int ms) override { QThread::msleep(static_cast<unsigned long>(ms)); }
};

// Before the station folder is known (and for the options that print and end), lines go
// to standard error only.
class StandardErrorLog final : public Log
{
public:
    void line(const QString &text) override { lineAt(QDateTime::currentDateTime(), text); }
    void lineAt(const QDateTime &at, const QString &text) override
    {
        const QByteArray bytes =
            (at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + text).toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    }
};

// With no screen there is nobody to show a box to: its text goes to the log, and a question
// gets its default answer.
class UnattendedBoxes final : public MessageBoxes
{
public:
    explicit UnattendedBoxes(Log *&log) : m_log(log) {}
    void ok(QWidget *, const QString &text, const QString &, Icon) override
    {
        m_log->line(QString(text).replace(u'\n', u' '));
    }
    bool question(QWidget *, const QString &, const QString &) override { return false; }
    void fatal(QWidget *, qint64 number, const QString &description) override
    {
        m_log->line(fatalReportText(number, description).replace(u'\n', u' '));
    }

private:
    Log *&m_log;
};

} // namespace

void ScreenlessDesktop::beep() {}

void ScreenlessDesktop::openUrl(const QUrl &) {}

QString ScreenlessDesktop::programFolder() const
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString ScreenlessDesktop::executableName() const
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

Platform systemPlatform()
{
    static SystemClock clock;
    static SystemPause pause;
    static ScreenlessDesktop desktop;
    static StandardErrorLog log;
    static Platform platform{&clock, &pause, nullptr, &desktop, &log};
    static UnattendedBoxes boxes(platform.log);
    platform.boxes = &boxes;
    return platform;
}

QString fatalReportText(qint64 number, const QString &description)
{
    // Negative numbers are status codes (HRESULTs): show their hex form too, as the
    // node software's documentation lists them that way.
    QString head = QString::number(number);
    if (number < 0)
        head += QStringLiteral(" (%1)").arg(quint32(number), 8, 16, QLatin1Char('0')).toUpper();
    return QStringLiteral("Erro em tempo de execução '%1':\n\n%2").arg(head, description);
}

} // namespace anunciel
