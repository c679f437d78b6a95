#pragma once

// The main window `msg`: it is the program. It holds the schedule in its controls, the one
// link to the node for the whole run, and two one-second timers: the scheduler (`Timer1`)
// and the link-state display (`Timer2`). The controls are listed in ui/MainWindowUi.h.

#include "ChannelWatch.h"
#include "Identification.h"
#include "SendingWindow.h"
#include "link/LinkObject.h"
#include "link/TransmitSequence.h"
#include "platform/Platform.h"
#include "ui/MainWindowUi.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QLineEdit;
class QTimer;

namespace anunciel {

class Lamp;
class SecondTimer;

// One column of the schedule: the four time fields, or the four file-name fields.
using ColumnFields = std::array<QLineEdit *, kSlotCount>;
using LinkFactory = std::function<LinkCreation()>;

class MainWindow : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    MainWindow(const Platform &platform, LinkFactory linkFactory, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Creates the link, starts both timers and loads the schedule. False when the link could
    // not be created: the report has been shown and the program must end without showing
    // the window.
    bool start();

    // What the two timers run each second; public so that tests can drive them with a fake
    // clock instead of waiting.
    void onSecond();      // the clock, then every slot that is due
    void showLinkState(); // the RF and IP lamps and captions

    // Ends the run without the closing question (the session is ending, or a signal came).
    void endWithoutQuestion();

    // The program folder with its trailing separator, as the last send or tick found it.
    const QString &caminho() const { return m_caminho; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    enum class IfMissing
    {
        Warn,
        StaySilent
    };
    enum class SendKind
    {
        Scheduled,
        Now
    };

    void sendNow(int slot);
    void saveTimes();
    void loadTimes();
    void saveFileNames();
    void loadFileNames();
    void showAbout();
    void showHelp();
    bool confirmQuit();

    void loadColumn(const QString &fileName, const ColumnFields &fields, IfMissing ifMissing);
    void saveColumn(const QString &fileName, const ColumnFields &fields);
    ColumnFields timeFields() const;
    ColumnFields fileNameFields() const;

    void refreshCaminho();
    QString slotPath(int slot) const;
    void checkSlot(int slot);
    bool reportMissingFile(int slot);
    // True when the file went to the node (whatever the node answered).
    bool sendIfFree(int slot, SendKind kind, RfReads rfReads);
    void logSend(const QString &at, int slot, SendKind kind, const QString &outcome);
    // The sending window, the identification and what they share.
    ShownSlot shownSlot(int slot) const;
    LinkState readChannel(RfReads rfReads);
    LinkStatus transmit(const std::function<std::string()> &path, bool announcement);
    std::optional<LinkStatus> sendPolitely(const QString &path, bool announcement);
    void channelRead(bool busy);
    void sendWaiting();
    void identify();
    // Every outcome of a delayed send and of the identification, for the operator to read.
    void reportOutcome(const QString &at, const QString &subject, const QString &outcome);

    bool showSide(LinkStatus (LinkObject::*read)(std::int16_t &), QLabel *caption, Lamp *lamp,
                  const QString &freeText, const QString &busyText, const QString &spokenSide);
    void stopTimers();

    Platform m_platform;
    LinkFactory m_linkFactory;
    std::unique_ptr<LinkObject> m_link;
    QString m_caminho;
    MainWindowUi m_ui;
    SecondTimer *m_secondTimer = nullptr;
    QTimer *m_linkStateTimer = nullptr;

    ChannelWatch m_channel;
    SendingWindow m_window;
    Identification m_identification;
    std::optional<WallMs> m_lastTick; // the scheduler's last tick, once it has ticked

    std::array<bool, kSlotCount> m_missingBoxOpen{};
    bool m_sending = false;
    bool m_ending = false;
};

} // namespace anunciel
