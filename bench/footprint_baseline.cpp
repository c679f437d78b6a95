// The floor for bench/footprint.sh: the smallest Qt Widgets window (a title and one label),
// started and measured exactly as the program is. Its figures are what Qt itself costs.

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Footprint baseline"));
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Anunciel"), &window));
    window.resize(600, 400);
    window.show();
    return app.exec();
}
