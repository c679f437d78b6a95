// The real message boxes, as an operator sees them: texts, captions, icons and buttons.

#include "ui/WindowPlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace anunciel;

namespace {

struct Seen
{
    QString text, caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
};

// Looks at the box once it is open, then presses the button whose text is `press`.
void inspectNextBox(Seen &seen, const QString &press)
{
    QTimer::singleShot(0, [&seen, press] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen.text = box->text();
        seen.caption = box->windowTitle();
        seen.icon = box->icon();
        for (QAbstractButton *b : box->buttons())
            seen.buttons << b->text();
        seen.buttons.sort();
        if (box->defaultButton())
            seen.defaultButton = box->defaultButton()->text();
        for (QAbstractButton *b : box->buttons())
            if (b->text() == press)
                b->click();
    });
}

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void okBox_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("qtIcon");
        QTest::newRow("no icon") << int(MessageBoxes::Icon::NoIcon) << int(QMessageBox::NoIcon);
        QTest::newRow("warning") << int(MessageBoxes::Icon::Warning) << int(QMessageBox::Warning);
        QTest::newRow("critical") << int(MessageBoxes::Icon::Critical)
                                  << int(QMessageBox::Critical);
    }
    void okBox()
    {
        QFETCH(int, icon);
        QFETCH(int, qtIcon);
        Seen seen;
        inspectNextBox(seen, "OK");
        windowPlatform().boxes->ok(nullptr, QStringLiteral("O arquivo não Existe!"), programTitle(),
                                   MessageBoxes::Icon(icon));
        QCOMPARE(seen.text, QStringLiteral("O arquivo não Existe!"));
        QCOMPARE(seen.caption, QStringLiteral("Anunciel"));
        QCOMPARE(int(seen.icon), qtIcon);
        QCOMPARE(seen.buttons, QStringList{"OK"});
    }

    void question_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<bool>("result");
        QTest::newRow("Sim") << QString::fromUtf8("Sim") << true;
        QTest::newRow("Não") << QString::fromUtf8("Não") << false;
    }
    void question()
    {
        QFETCH(QString, press);
        QFETCH(bool, result);
        Seen seen;
        inspectNextBox(seen, press);
        const bool answer = windowPlatform().boxes->question(
            nullptr, QStringLiteral("Tem certeza que quer sair?"), QStringLiteral("anunciel"));
        QCOMPARE(answer, result);
        QCOMPARE(seen.caption, QStringLiteral("anunciel"));
        QCOMPARE(seen.icon, QMessageBox::Question);
        QCOMPARE(seen.buttons, (QStringList{QString::fromUtf8("Não"), "Sim"}));
        QCOMPARE(seen.defaultButton, QString::fromUtf8("Não"));
    }

    void questionEscapeIsNo()
    {
        QTimer::singleShot(
            0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
        QVERIFY(!windowPlatform().boxes->question(nullptr, "?", "x"));
    }

    void fatalReport()
    {
        Seen seen;
        inspectNextBox(seen, "OK");
        windowPlatform().boxes->fatal(nullptr, std::int32_t(0x80040154u),
                                      QStringLiteral("Classe não registrada"));
        QCOMPARE(seen.caption, QStringLiteral("Anunciel"));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QVERIFY(seen.text.contains("-2147221164 (80040154)"));
        QVERIFY(seen.text.contains("Classe não registrada"));
        QCOMPARE(fatalReportText(5, "x"), QStringLiteral("Erro em tempo de execução '5':\n\nx"));
    }

    void programFolderAndName()
    {
        const Platform p = windowPlatform();
        QCOMPARE(p.desktop->executableName(), QStringLiteral("test_platform"));
        QCOMPARE(p.desktop->programFolder(),
                 QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
        QVERIFY(!p.desktop->programFolder().endsWith(QDir::separator()));
    }
};

QTEST_MAIN(TestPlatform)
#include "test_platform.moc"
