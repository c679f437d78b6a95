#include "MainWindow.h"

#include "schedule/TimeOfDay.h"
#include "ui/AboutWindow.h"
#include "ui/Accessibility.h"
#include "ui/HelpWindow.h"
#include "ui/Lamp.h"
#include "ui/TimeField.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace anunciel {

namespace {

const QString kFileMissing = QStringLiteral("O arquivo não Existe!");
const QString kSaveFirst = QStringLiteral("Grave as mensagens primeiro!");
const QString kQuitQuestion = QStringLiteral("Tem certeza que quer sair?");

const QColor kFreeColour(0, 255, 0);
const QColor kBusyColour(255, 0, 0);
// Neither green nor red: the side could not be read, so nothing is known of it.
const QColor kUnknownColour(160, 160, 160);

} // namespace

MainWindow::MainWindow(Station &station, const Platform &platform, QWidget *parent)
    : QWidget(parent), m_station(station), m_platform(platform)
{
    m_ui.setupUi(this);
    m_station.setFrontEnd(this);

    for (int slot = 0; slot < kSlotCount; ++slot) {
        const SlotRow &row = m_ui.rows[slot];
        connect(row.sendNow, &QPushButton::clicked, this,
                [this, slot] { m_station.sendNow(slot); });
        // A time the scheduler cannot read stands out, so that a slot never fires unnoticed.
        QLineEdit *time = row.time;
        // The field's text as it is now, not as the signal carried it: the field's own
        // reaction may already have changed it again.
        connect(time, &QLineEdit::textChanged, this, [this, slot, time] {
            markTime(slot);
            m_station.setTime(slot, time->text());
        });
        QLineEdit *fileName = row.fileName;
        connect(fileName, &QLineEdit::textChanged, this,
                [this, slot, fileName] { m_station.setFileName(slot, fileName->text()); });
        connect(row.enabled, &QCheckBox::stateChanged, this,
                [this, slot](int state) { m_station.setEnabled(slot, Qt::CheckState(state)); });
        markTime(slot);
        showSlot(slot);
    }
    connect(&m_station, &Station::slotChanged, this, &MainWindow::showSlot);
    connect(&m_station, &Station::daysChanged, this, [this] {
        for (int slot = 0; slot < kSlotCount; ++slot)
            markTime(slot);
    });
    connect(&m_station, &Station::clockChanged, this,
            // Shown every second, told to a screen reader only while the clock has the focus.
            [this](const QString &text) { setTextQuietly(m_ui.clock, text); });
    connect(&m_station, &Station::sideRead, this, &MainWindow::showSide);
    connect(&m_station, &Station::statusChanged, this,
            [this](const QString &text) { m_ui.showStatus(text); });
    if (!m_station.statusText().isEmpty())
        m_ui.showStatus(m_station.statusText());

    connect(m_ui.quitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui.aboutButton, &QPushButton::clicked, this, &MainWindow::showAbout);
    connect(m_ui.saveTimesButton, &QPushButton::clicked, this,
            [this] { saveColumn(Station::Column::Times); });
    connect(m_ui.loadTimesButton, &QPushButton::clicked, this,
            [this] { loadColumn(Station::Column::Times); });
    connect(m_ui.saveFileNamesButton, &QPushButton::clicked, this,
            [this] { saveColumn(Station::Column::FileNames); });
    connect(m_ui.loadFileNamesButton, &QPushButton::clicked, this,
            [this] { loadColumn(Station::Column::FileNames); });
    connect(m_ui.helpButton, &QPushButton::clicked, this, &MainWindow::showHelp);
}

MainWindow::~MainWindow()
{
    m_station.setFrontEnd(nullptr);
}

// The station's slot into the fields. A field may change what it is given (the time field's
// colon, its length limit): the field's text then goes back to the station, so that both
// always hold the same.
void MainWindow::showSlot(int slot)
{
    const StationSlot &s = m_station.slot(slot);
    const SlotRow &row = m_ui.rows[slot];
    if (row.enabled->checkState() != s.enabled)
        row.enabled->setCheckState(s.enabled);
    if (row.time->text() != s.time) {
        row.time->setText(s.time);
        m_station.setTime(slot, row.time->text());
    }
    if (row.fileName->text() != s.fileName) {
        row.fileName->setText(s.fileName);
        m_station.setFileName(slot, row.fileName->text());
    }
}

// A time the scheduler cannot read, or a slot whose days line cannot be read, stands out,
// so that a slot never fails to go out unnoticed.
void MainWindow::markTime(int slot)
{
    QLineEdit *time = m_ui.rows[slot].time;
    const SlotDaysRead &days = m_station.days(slot);
    markTimeField(time, !readTimeOfDay(time->text()) ? unreadableTimeHint()
                        : !days.ok()                 ? badDaysToolTip(days)
                                                     : QString());
}

// Painted at every reading; a screen reader hears of it only when the state changed.
void MainWindow::showSide(int side, SideState state)
{
    const bool radio = side == kRadio;
    QLabel *caption = radio ? m_ui.rfCaption : m_ui.ipCaption;
    Lamp *lamp = radio ? m_ui.rfLamp : m_ui.ipLamp;
    caption->setText(sideCaption(side, state));
    lamp->setColour(state == SideState::Free   ? kFreeColour
                    : state == SideState::Busy ? kBusyColour
                                               : kUnknownColour);
    showSpokenSideState(caption, radio ? kRadioSide : kInternetSide, state);
}

void MainWindow::tellMissingFile(int)
{
    m_platform.boxes->ok(this, kFileMissing, programTitle(), MessageBoxes::Icon::NoIcon);
}

// ---- Schedule files ----------------------------------------------------------------------

void MainWindow::loadColumn(Station::Column column)
{
    // Either button reads the days too: they belong to the same schedule.
    m_station.loadDays();
    const ScheduleRead read = m_station.loadColumn(column);
    switch (read.status) {
    case ScheduleRead::Status::Missing:
        m_platform.boxes->ok(this, kSaveFirst, programTitle(), MessageBoxes::Icon::NoIcon);
        return;
    case ScheduleRead::Status::Unreadable:
        // The fields keep what they hold: emptying them would lose the operator's schedule.
        m_platform.boxes->ok(this,
                             QStringLiteral("Não foi possível ler o arquivo \"%1\": %2.\n"
                                            "As mensagens na tela não foram alteradas.")
                                 .arg(Station::fileOf(column), read.reason),
                             programTitle(), MessageBoxes::Icon::Warning);
        return;
    case ScheduleRead::Status::Ok:
        return;
    }
}

void MainWindow::saveColumn(Station::Column column)
{
    const ScheduleWrite written = m_station.saveColumn(column);
    if (!written.ok)
        m_platform.boxes->ok(this,
                             QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2.\n"
                                            "O arquivo anterior não foi alterado e as mensagens "
                                            "continuam na tela.")
                                 .arg(Station::fileOf(column), written.reason),
                             programTitle(), MessageBoxes::Icon::Critical);
}

// ---- About and help ----------------------------------------------------------------------

void MainWindow::showAbout()
{
    m_platform.desktop->beep();
    // Made anew from its design on every opening and gone when closed: one at a time.
    // The modal wait runs an event loop, so both timers keep ticking meanwhile.
    AboutWindow about(*m_platform.desktop, this);
    about.exec();
}

void MainWindow::showHelp()
{
    m_platform.desktop->beep();
    HelpWindow help(this);
    help.exec();
}

// ---- Closing -----------------------------------------------------------------------------

bool MainWindow::confirmQuit()
{
    return m_platform.boxes->question(this, kQuitQuestion, m_platform.desktop->executableName());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Every close request asks, whatever it came from ("Encerrar", the close box, the task
    // list), unless the run is already ending; and the run may end while the question is
    // open.
    if (!m_station.isEnding() && !confirmQuit() && !m_station.isEnding()) {
        event->ignore();
        return;
    }
    m_station.stop();
    event->accept();
}

void MainWindow::endWithoutQuestion()
{
    m_station.stop();
    // Leaves every event loop, nested ones (an open message box) included.
    QCoreApplication::exit(0);
}

} // namespace anunciel
