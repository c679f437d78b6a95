#include "app/Application.h"
#include "link/LinkOptions.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (const std::optional<int> answered = anunciel::runLinkOption(argc, argv))
        return *answered;
    anunciel::prepareApplication();
    QApplication app(argc, argv);
    return anunciel::run(app);
}
