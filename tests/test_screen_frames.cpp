// The animations on a real X display: what the screen shows after each frame change is the
// frame itself, pixel for pixel, whether the X server keeps the frames or the frame is
// repainted; at 100 % and 200 %.

#include "ui/AniGif.h"

#include "TestMain.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

using namespace anunciel;

class TestScreenFrames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            test::skipAll();
            QSKIP("needs an X display (run through run_on_x11.sh)");
        }
    }

    void screenShowsEachFrame_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("antenna tower") << ":/images/antena.gif";
        QTest::newRow("level meter") << ":/images/medidor.gif";
    }
    void screenShowsEachFrame()
    {
        QFETCH(QString, file);
        AniGif gif;
        gif.setFileName(file);
        gif.resize(gif.frameRect().size() + QSize(6, 4));
        // Slower than stored: each frame stays long enough to be read back.
        gif.setSpeed(25);
        QStringList wrong;
        int checked = 0;
        connect(&gif, &AniGif::frameChanged, this, [&](int frame) {
            if (checked >= gif.frameCount() + 2)
                return;
            ++checked;
            const QRect r = gif.frameRect();
            const qreal ratio = gif.devicePixelRatio();
            const QImage shown = gif.screen()
                                     ->grabWindow(gif.winId(), r.x(), r.y(), r.width(), r.height())
                                     .toImage()
                                     .convertToFormat(QImage::Format_RGB32);
            QImage expected = gif.shownFrame().toImage().convertToFormat(QImage::Format_RGB32);
            expected.setDevicePixelRatio(shown.devicePixelRatio());
            if (shown.size() != (QSizeF(r.size()) * ratio).toSize() || shown != expected)
                wrong << QString::number(frame);
        });
        gif.show();
        QVERIFY(QTest::qWaitForWindowExposed(&gif));
        QTRY_VERIFY_WITH_TIMEOUT(checked >= gif.frameCount() + 2, 20000);
        // On X11 the X server keeps them; the copies must be exactly the frames.
        QVERIFY(gif.framesKeptByScreen());
        QVERIFY2(wrong.isEmpty(), qPrintable("frames shown wrongly: " + wrong.join(' ')));
    }
};

ANUNCIEL_SKIPPABLE_TEST_MAIN(TestScreenFrames)
#include "test_screen_frames.moc"
