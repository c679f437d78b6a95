#include "Application.h"

#include "MainWindow.h"
#include "UnixSignals.h"

#include <QApplication>

namespace anunciel {

void prepareApplication()
{
}

int run(QApplication &app)
{
    app.setApplicationName(programTitle());
    MainWindow window(systemPlatform(), &createLink);
    if (!window.Form_Load())
        return 1;
    onTerminationSignal([&window] { window.endWithoutQuestion(); });
    window.show();
    return app.exec();
}

} // namespace anunciel
