#pragma once

// Commands to the running station from a shell (`anunciel --enviar-agora N`, `--situacao`):
// a local socket that only the station's own user can open, named after the station folder,
// so that a command reaches the program running there and no other.
//
// A request is one line: "enviar-agora N" (N from 1 to 4) or "situacao". The answer is lines,
// each "> text" (for standard output) or "! text" (for standard error), and then "= S", the
// exit status the command ends with: 0 done (sent), 1 not done (not sent) and 3 a request
// that was not understood, which changes nothing.

#include "core/SideState.h"
#include "settings/StationSettings.h"

#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <array>
#include <optional>

class QLocalSocket;

namespace anunciel {

class Clock;
class Station;

inline const QString kSendNowRequest = QStringLiteral("enviar-agora");
inline const QString kStatusRequest = QStringLiteral("situacao");

// The exit statuses of a command, as a script sees them.
enum CommandStatus
{
    kCommandDone = 0,
    kCommandNotDone = 1,
    kCommandNoProgram = 2,
    kCommandNotUnderstood = 3,
};

// The socket's name for the station in `folder`: a path in the user's runtime folder (the
// temporary folder without one) on Linux, a pipe's name on Windows.
QString controlSocketName(const QString &folder);

// The settings in force, one "key = value" line each, as estacao.ini names them.
QStringList settingsLines(const StationSettings &settings);

class ControlServer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ControlServer)

public:
    // Longer request lines are not requests.
    static constexpr int kMaxRequest = 256;

    ControlServer(Station &station, const StationSettings &settings, const Clock &clock,
                  QObject *parent = nullptr);
    // A caller still waiting hears that the program ended before the outcome.
    ~ControlServer() override;

    // Listens for the station in `folder`; the reason when it cannot (the station runs on,
    // without commands).
    std::optional<QString> listen(const QString &folder);

    // The answer's lines to the status request.
    QStringList statusLines() const;

private:
    struct Waiting
    {
        QPointer<QLocalSocket> socket;
        int slot = 0;
    };

    void accept();
    void readRequest(QLocalSocket *socket);
    void answer(QLocalSocket *socket, const QStringList &lines, int status);
    void sendNow(QLocalSocket *socket, const QString &argument);
    void reported(int slot, const QString &line, bool sent);

    Station &m_station;
    StationSettings m_settings;
    const Clock &m_clock;
    QLocalServer m_server;
    std::array<std::optional<SideState>, 2> m_sides{};
    QList<Waiting> m_waiting;
};

} // namespace anunciel
