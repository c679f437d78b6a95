#pragma once

// The main window `msg`: a view of the station. Its fields are bound to the station's four
// slots both ways; the clock, the lamps and the status line show what the station reports;
// it opens the about and help windows and asks the closing question. The controls are listed
// in ui/MainWindowUi.h.

#include "core/Station.h"
#include "platform/Platform.h"
#include "ui/MainWindowUi.h"

#include <QWidget>

namespace anunciel {

class MainWindow : public QWidget, private StationFrontEnd
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    MainWindow(Station &station, const Platform &platform, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Ends the run without the closing question (the session is ending, or a signal came).
    void endWithoutQuestion();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void tellMissingFile(int slot) override;

    void showSlot(int slot);
    void markTime(int slot);
    void showSide(int side, SideState state);
    void loadColumn(Station::Column column);
    void saveColumn(Station::Column column);
    void showAbout();
    void showHelp();
    bool confirmQuit();

    Station &m_station;
    Platform m_platform;
    MainWindowUi m_ui;
};

} // namespace anunciel
