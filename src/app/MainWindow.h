#pragma once

// The main window `msg`: it is the program. It holds the schedule in its controls, the one
// link to the node for the whole run, and two one-second timers: the scheduler (`Timer1`)
// and the link-state display (`Timer2`). The controls are listed in ui/MainWindowUi.h.

#include "core/ChannelWatch.h"
#include "core/Identification.h"
#include "core/SendingWindow.h"
#include "link/LinkObject.h"
#include "link/TransmitSequence.h"
#include "platform/Platform.h"
#include "ui/Accessibility.h"
#include "ui/MainWindowUi.h"

#include <QWidget>

#include <array>
#include <deque>
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

    // Puts a notice of the program's own at the head of the status line (the log file's
    // trouble, say) until the next outcome.
    void showNotice(const QString &text);

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
    // A send as the log and the status line tell it: which slot (none for the
    // identification), when, how it was asked, and what to call it once it went out whole.
    struct SendRecord
    {
        int slot = 0; // -1: the identification
        QDateTime at;
        QString how;  // "horário 14:30" or "enviar agora"
        QString path; // the file's full path
        QString sentOutcome = QStringLiteral("enviada");
    };
    SendRecord recordOf(int slot, SendKind kind) const;
    // Writes the send's line and shows its outcome on the status line.
    void reportSend(const SendRecord &send, const QString &outcome);
    void playOutcome(const PlayOutcome &outcome);
    // The slot whose time comes next, as the status line tells it.
    QString nextSlotText() const;
    void refreshStatus();
    SideState readSide(int side);
    // The sending window, the identification and what they share.
    ShownSlot shownSlot(int slot) const;
    LinkState readChannel(RfReads rfReads);
    // The one way onto the air: keys, plays the file `path` gives, unkeys, and reports.
    LinkStatus transmit(const SendRecord &send, const std::function<std::string()> &path,
                        bool announcement);
    std::optional<LinkStatus> sendPolitely(const SendRecord &send, bool announcement);
    void channelRead(bool busy);
    void sendWaiting();
    void identify();
    void stopTimers();
    // The log's line, then the box, of an error the program cannot go on after.
    void stopFatally(const LinkStatus &status);

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
    // What the indicators last showed, radio first; none before the first reading.
    std::array<std::optional<SideState>, 2> m_sideState{};
    // Sends whose files the link took and will tell the end of, oldest first.
    std::deque<SendRecord> m_playing;
    QString m_lastOutcome;
    QString m_notice;
    bool m_sending = false;
    bool m_ending = false;
};

} // namespace anunciel
