// Baseline for the idle-CPU measurement: a plain window of the main window's size whose only
// activity is a clock label updated once a second, as the program's own clock is.

#include <QApplication>
#include <QLabel>
#include <QTime>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel window;
    window.setFixedSize(593, 449);
    window.setAlignment(Qt::AlignCenter);
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, &window,
                     [&] { window.setText(QTime::currentTime().toString(u"HH:mm:ss")); });
    clock.start(1000);
    window.show();
    return app.exec();
}
