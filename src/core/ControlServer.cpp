#include "core/ControlServer.h"

#include "core/Station.h"
#include "schedule/TimeOfDay.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace anunciel {

namespace {

QString yesNo(bool value)
{
    return value ? QStringLiteral("sim") : QStringLiteral("nao");
}

QString detectionText(RfDetection detection)
{
    switch (detection) {
    case RfDetection::Rigctld:
        return QStringLiteral("rigctld");
    case RfDetection::Audio:
        return QStringLiteral("audio");
    case RfDetection::Never:
        return QStringLiteral("nenhuma");
    case RfDetection::Default:
        break;
    }
    return QStringLiteral("(padrão: o squelch do rigctld quando há rigctld, senão nenhuma)");
}

QString orDefault(const QString &text, const QString &otherwise)
{
    return text.isEmpty() ? otherwise : text;
}

} // namespace

QString controlSocketName(const QString &folder)
{
    const QString canonical = QDir(folder).canonicalPath();
    const QByteArray hash =
        QCryptographicHash::hash((canonical.isEmpty() ? folder : canonical).toUtf8(),
                                 QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    const QString name = QStringLiteral("anunciel-") + QString::fromLatin1(hash);
#ifdef Q_OS_WIN
    return name;
#else
    // The runtime folder is the user's alone; a service and a login of the same user share
    // it. Without one, the temporary folder, with the user's number in the name.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(name);
    return QDir(QDir::tempPath()).filePath(QStringLiteral("%1-%2").arg(name).arg(::getuid()));
#endif
}

QStringList settingsLines(const StationSettings &s)
{
    return {
        QStringLiteral("%1 = %2").arg(
            kRigctldKey, s.rigctld.isEmpty()
                             ? QStringLiteral("(nenhum: o rádio é chaveado pelo próprio VOX)")
                             : QStringLiteral("%1 (%2)").arg(s.rigctld, s.rigctldOrigin)),
        QStringLiteral("%1 = %2").arg(kKeyingDelayKey).arg(s.keyingDelay.count()),
        QStringLiteral("%1 = %2").arg(kAudioOutputKey,
                                      orDefault(s.audioOutput, QStringLiteral("(a padrão)"))),
        QStringLiteral("%1 = %2").arg(kRfDetectionKey, detectionText(s.rf.detection)),
        QStringLiteral("%1 = %2").arg(kAudioInputKey,
                                      orDefault(s.rf.audioInput, QStringLiteral("(a padrão)"))),
        QStringLiteral("%1 = %2").arg(kAudioThresholdKey).arg(s.rf.audioThresholdDb),
        QStringLiteral("%1 = %2").arg(kAudioHangKey).arg(s.rf.audioHang.count()),
        QStringLiteral("%1 = %2").arg(kSendWindowKey).arg(s.sending.windowMinutes),
        QStringLiteral("%1 = %2").arg(kFreeChannelKey).arg(s.sending.freeChannelSeconds),
        QStringLiteral("%1 = %2").arg(kIdFileKey,
                                      orDefault(s.sending.idFile, QStringLiteral("(nenhum)"))),
        QStringLiteral("%1 = %2").arg(kIdIntervalKey).arg(s.sending.idIntervalMinutes),
        QStringLiteral("%1 = %2").arg(kIdOverQsoKey, yesNo(s.sending.idOverQso)),
        QStringLiteral("%1 = %2").arg(kIdOnlyWithActivityKey, yesNo(s.sending.idOnlyWithActivity)),
    };
}

ControlServer::ControlServer(Station &station, const StationSettings &settings, const Clock &clock,
                             QObject *parent)
    : QObject(parent), m_station(station), m_settings(settings), m_clock(clock)
{
    // Only the station's user: another user's command is refused by the system itself.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &ControlServer::accept);
    connect(&m_station, &Station::sideRead, this,
            [this](int side, SideState state) { m_sides[side] = state; });
    connect(&m_station, &Station::sendReported, this, &ControlServer::reported);
}

ControlServer::~ControlServer()
{
    for (const Waiting &waiting : m_waiting)
        if (waiting.socket)
            answer(waiting.socket,
                   {QStringLiteral("! O programa foi encerrado antes do resultado do envio.")},
                   kCommandNotDone);
}

std::optional<QString> ControlServer::listen(const QString &folder)
{
    const QString name = controlSocketName(folder);
    // The station folder's lock is held: a socket left under this name is a crashed run's.
    QLocalServer::removeServer(name);
    if (m_server.listen(name))
        return std::nullopt;
    return m_server.errorString();
}

void ControlServer::accept()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
    }
}

void ControlServer::answer(QLocalSocket *socket, const QStringList &lines, int status)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toUtf8() + '\n';
    bytes += "= " + QByteArray::number(status) + '\n';
    socket->write(bytes);
    socket->flush();
    socket->disconnectFromServer();
}

void ControlServer::readRequest(QLocalSocket *socket)
{
    // One request per connection.
    if (socket->property("asked").toBool())
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequest) {
            socket->setProperty("asked", true);
            answer(socket, {QStringLiteral("! Pedido longo demais; nada foi feito.")},
                   kCommandNotUnderstood);
        }
        return;
    }
    socket->setProperty("asked", true);
    const QString line = QString::fromUtf8(socket->readLine(kMaxRequest + 1)).trimmed();
    const QString request = line.section(u' ', 0, 0);
    const QString argument = line.section(u' ', 1).trimmed();
    if (request == kStatusRequest && argument.isEmpty()) {
        answer(socket, statusLines(), kCommandDone);
        return;
    }
    if (request == kSendNowRequest) {
        sendNow(socket, argument);
        return;
    }
    answer(socket,
           {QStringLiteral("! Pedido não entendido: \"%1\". Os pedidos são \"%2 N\" (N de 1 a %3) "
                           "e \"%4\"; nada foi feito.")
                .arg(line.left(80), kSendNowRequest)
                .arg(kSlotCount)
                .arg(kStatusRequest)},
           kCommandNotUnderstood);
}

void ControlServer::sendNow(QLocalSocket *socket, const QString &argument)
{
    bool isNumber = false;
    const int number = argument.toInt(&isNumber);
    if (!isNumber || number < 1 || number > kSlotCount) {
        answer(socket,
               {QStringLiteral("! Mensagem \"%1\" não existe: use um número de 1 a %2; nada foi "
                               "feito.")
                    .arg(argument.left(20))
                    .arg(kSlotCount)},
               kCommandNotUnderstood);
        return;
    }
    const int slot = number - 1;
    if (m_station.isEnding() || m_station.isSending()) {
        answer(socket,
               {QStringLiteral("! Mensagem %1 não enviada: %2.")
                    .arg(number)
                    .arg(m_station.isEnding()
                             ? QStringLiteral("o programa está sendo encerrado")
                             : QStringLiteral("outro envio está ocupando o rádio; tente de novo"))},
               kCommandNotDone);
        return;
    }
    // Its outcome may come while sendNow runs (not sent), or when the file has played.
    m_waiting.append({socket, slot});
    m_station.sendNow(slot);
}

// The first outcome for a slot after its request is that request's: the link plays in order.
void ControlServer::reported(int slot, const QString &line, bool sent)
{
    for (qsizetype i = 0; i < m_waiting.size(); ++i) {
        if (m_waiting[i].slot != slot)
            continue;
        const QPointer<QLocalSocket> socket = m_waiting[i].socket;
        m_waiting.removeAt(i);
        if (socket)
            answer(socket, {(sent ? QStringLiteral("> ") : QStringLiteral("! ")) + line},
                   sent ? kCommandDone : kCommandNotDone);
        return;
    }
}

QStringList ControlServer::statusLines() const
{
    QStringList lines{QStringLiteral("> Situação: ") + m_station.statusText()};
    const int now = m_clock.now().msecsSinceStartOfDay() / 1000;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const StationSlot &s = m_station.slot(slot);
        const bool ticked = s.enabled == Qt::Checked;
        QString next = QStringLiteral("nenhum");
        const std::optional<int> at = readTimeOfDay(s.time);
        if (ticked && at && !s.fileName.isEmpty()) {
            const QString time =
                QTime::fromMSecsSinceStartOfDay(*at * 1000)
                    .toString(*at % 60 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
            next = (*at > now ? QStringLiteral("hoje às %1") : QStringLiteral("amanhã às %1"))
                       .arg(time);
        } else if (ticked && !at) {
            next = QStringLiteral("nenhum (horário ilegível)");
        }
        lines << QStringLiteral("> Mensagem %1: %2, horário %3, arquivo %4, próximo envio: %5")
                     .arg(slot + 1)
                     .arg(ticked ? QStringLiteral("marcada") : QStringLiteral("desmarcada"),
                          orDefault(s.time, QStringLiteral("(vazio)")),
                          s.fileName.isEmpty() ? QStringLiteral("(nenhum)")
                                               : QStringLiteral("\"%1\"").arg(s.fileName),
                          next);
    }
    for (int side : {kRadio, kInternet})
        lines << QStringLiteral("> %1: %2")
                     .arg(side == kRadio ? QStringLiteral("Rádio (RF)")
                                         : QStringLiteral("Internet (IP)"),
                          m_sides[side] ? sideCaption(side, *m_sides[side]).trimmed()
                                        : QStringLiteral("ainda não lido"));
    lines << QStringLiteral("> Configuração em vigor (%1):").arg(kStationSettingsFile);
    for (const QString &line : settingsLines(m_settings))
        lines << QStringLiteral(">   ") + line;
    return lines;
}

} // namespace anunciel
