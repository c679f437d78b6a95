#include "app/Application.h"
#include "app/Headless.h"
#include "link/LinkOptions.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (const std::optional<int> answered = anunciel::runLinkOption(argc, argv))
        return *answered;
    // The station without a screen, and the commands to a running one: no display needed.
    if (const std::optional<int> answered = anunciel::runScreenlessOption(argc, argv))
        return *answered;
    if (const std::optional<int> refused = anunciel::refuseWindowWithoutDisplay(argc, argv))
        return *refused;
    anunciel::prepareApplication();
    QApplication app(argc, argv);
    return anunciel::run(app);
}
