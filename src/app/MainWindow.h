#pragma once

// The main window `msg`: it is the program. It holds the schedule in its controls, the one
// link object `Echo` for the whole run, and the two one-second timers.

#include "link/LinkObject.h"
#include "platform/Platform.h"
#include "ui/MainWindowUi.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QLineEdit;
class QTimer;

namespace anunciel {

class SecondTimer;

using Fields = std::array<QLineEdit *, 4>;
using LinkFactory = std::function<LinkCreation()>;

class MainWindow : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    MainWindow(const Platform &platform, LinkFactory linkFactory, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Start-up. False when the link could not be created: the report has been shown and
    // the program must end without showing the window.
    bool Form_Load();

    // Handlers, public so that tests call them as the timers and buttons do.
    void Timer1_Timer();
    void Timer2_Timer();
    void envia_Click(int slot); // slot 1..4
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Form_QueryUnload(bool &Cancel);

    void LerDiretivas(const QString &fileName, const Fields &fields, bool warn);
    void GravarDiretivas(const QString &fileName, const Fields &fields);

    // Ends the run without the closing question (the session is ending, or a signal came).
    void endWithoutQuestion();

    // A check box's value as the design counts it: 0 unticked, 1 ticked, 2 grayed.
    int checkValue(int slot) const;
    void setCheckValue(int slot, int value);

    const QString &caminho() const { return m_caminho; }
    const MainWindowUi &ui() const { return m_ui; }
    SecondTimer *timer1() const { return m_timer1; }
    QTimer *timer2() const { return m_timer2; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void refreshCaminho();
    QString slotPath(int index) const;
    void slotTick(int index);
    bool reportMissingFile(int index);
    void transmit(int index);
    void showSideState(LinkStatus (LinkObject::*read)(std::int16_t &), QLabel *label,
                       class ShapeIndicator *shape, const QString &freeText,
                       const QString &busyText);
    Fields horaFields() const;
    Fields msgFields() const;

    Platform m_platform;
    LinkFactory m_linkFactory;
    std::unique_ptr<LinkObject> Echo;
    QString m_caminho;
    MainWindowUi m_ui;
    SecondTimer *m_timer1 = nullptr;
    QTimer *m_timer2 = nullptr;

    std::array<bool, 4> m_missingBoxOpen{};
    bool m_sending = false;
    bool m_ending = false;
};

} // namespace anunciel
