#include "app/Application.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    anunciel::prepareApplication();
    QApplication app(argc, argv);
    return anunciel::run(app);
}
