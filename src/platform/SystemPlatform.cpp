#include "Platform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QUrl>

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

QMessageBox::Icon qtIcon(MessageBoxes::Icon icon)
{
    switch (icon) {
    case MessageBoxes::Icon::Information:
        return QMessageBox::Information;
    case MessageBoxes::Icon::Warning:
        return QMessageBox::Warning;
    case MessageBoxes::Icon::Critical:
        return QMessageBox::Critical;
    case MessageBoxes::Icon::Question:
        return QMessageBox::Question;
    case MessageBoxes::Icon::NoIcon:
        break;
    }
    return QMessageBox::NoIcon;
}

class SystemMessageBoxes final : public MessageBoxes
{
public:
    void ok(QWidget *parent, const QString &text, const QString &caption, Icon icon) override
    {
        QMessageBox box(qtIcon(icon), caption, text, QMessageBox::NoButton, parent);
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.exec();
    }

    bool question(QWidget *parent, const QString &text, const QString &caption) override
    {
        QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent);
        QAbstractButton *yes = box.addButton(QStringLiteral("Sim"), QMessageBox::YesRole);
        QPushButton *no = box.addButton(QStringLiteral("Não"), QMessageBox::NoRole);
        box.setDefaultButton(no);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes;
    }

    void fatal(QWidget *parent, qint64 number, const QString &description) override
    {
        ok(parent, fatalReportText(number, description), programTitle(), Icon::Critical);
    }
};

class SystemDesktop final : public Desktop
{
public:
    void beep() override { QApplication::beep(); }
    void openUrl(const QUrl &url) override { QDesktopServices::openUrl(url); }
    QString programFolder() const override
    {
        return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    }
    QString executableName() const override
    {
        return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    }
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

} // namespace

Platform systemPlatform()
{
    static SystemClock clock;
    static SystemPause pause;
    static SystemMessageBoxes boxes;
    static SystemDesktop desktop;
    static StandardErrorLog log;
    return {&clock, &pause, &boxes, &desktop, &log};
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
