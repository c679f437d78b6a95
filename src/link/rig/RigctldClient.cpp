#include "link/rig/RigctldClient.h"

#include "link/StationErrors.h"

namespace anunciel {

namespace {

int remainingMs(const QDeadlineTimer &deadline)
{
    return int(std::max<qint64>(0, deadline.remainingTime()));
}

LinkStatus failure(std::int32_t code, const QString &text)
{
    return LinkStatus::failure(code, text.toStdString());
}

} // namespace

RigctldClient::RigctldClient(const QList<QHostAddress> &addresses, quint16 port,
                             const QString &name)
    : m_addresses(addresses), m_port(port), m_name(name)
{
}

LinkStatus RigctldClient::setPtt(bool on, const QDeadlineTimer &deadline)
{
    QByteArray answer;
    const LinkStatus status = exchange(on ? "T 1\n" : "T 0\n", answer, deadline);
    if (!status.ok())
        return status;
    bool isNumber = false;
    const int code = answer.startsWith("RPRT ") ? answer.mid(5).trimmed().toInt(&isNumber) : 0;
    if (!isNumber)
        return failure(stationerror::RigBadAnswer,
                       QStringLiteral("Resposta inesperada do rigctld em %1: \"%2\".")
                           .arg(m_name, QString::fromLatin1(answer.left(80))));
    if (code != 0)
        return failure(code, QStringLiteral("O rigctld em %1 recusou o comando de PTT (RPRT %2).")
                                 .arg(m_name)
                                 .arg(code));
    return LinkStatus::success();
}

LinkStatus RigctldClient::squelchOpen(bool &open, const QDeadlineTimer &deadline)
{
    QByteArray answer;
    const LinkStatus status = exchange("\\get_dcd\n", answer, deadline);
    if (!status.ok())
        return status;
    bool isNumber = false;
    if (answer.startsWith("RPRT ")) {
        const int code = answer.mid(5).trimmed().toInt(&isNumber);
        if (isNumber && code != 0)
            return failure(code, QStringLiteral("O rigctld em %1 não leu o squelch (RPRT %2).")
                                     .arg(m_name)
                                     .arg(code));
    } else {
        const int value = answer.trimmed().toInt(&isNumber);
        if (isNumber) {
            open = value != 0;
            return LinkStatus::success();
        }
    }
    return failure(stationerror::RigBadAnswer,
                   QStringLiteral("Resposta inesperada do rigctld em %1: \"%2\".")
                       .arg(m_name, QString::fromLatin1(answer.left(80))));
}

LinkStatus RigctldClient::exchange(const QByteArray &command, QByteArray &answer,
                                   const QDeadlineTimer &deadline)
{
    // A connection that rigctld closed since the last exchange (it was restarted, say) is
    // only found out by using it, and rigctld now and then drops a new connection at once:
    // one fresh connection is tried within the same deadline. Every command used here may
    // safely be sent twice.
    bool lost = false;
    LinkStatus status = exchangeOnce(command, answer, deadline, lost);
    if (!status.ok() && lost && !deadline.hasExpired())
        status = exchangeOnce(command, answer, deadline, lost);
    return status;
}

LinkStatus RigctldClient::exchangeOnce(const QByteArray &command, QByteArray &answer,
                                       const QDeadlineTimer &deadline, bool &connectionLost)
{
    connectionLost = false;
    if (m_socket.state() != QAbstractSocket::ConnectedState) {
        const LinkStatus connected = connectSocket(deadline);
        if (!connected.ok())
            return connected;
    }
    // Nothing is expected before the command: whatever came is stale.
    m_socket.readAll();

    m_socket.write(command);
    while (m_socket.bytesToWrite() > 0) {
        if (!m_socket.waitForBytesWritten(remainingMs(deadline))) {
            connectionLost = m_socket.state() != QAbstractSocket::ConnectedState;
            return socketFailure(deadline);
        }
    }
    while (!m_socket.canReadLine()) {
        if (!m_socket.waitForReadyRead(remainingMs(deadline))) {
            connectionLost = m_socket.state() != QAbstractSocket::ConnectedState;
            return socketFailure(deadline);
        }
    }
    answer = m_socket.readLine().trimmed();
    return LinkStatus::success();
}

LinkStatus RigctldClient::connectSocket(const QDeadlineTimer &deadline)
{
    LinkStatus status = failure(stationerror::RigUnreachable,
                                QStringLiteral("O rigctld em %1 não tem endereço.").arg(m_name));
    for (qsizetype i = 0; i < m_addresses.size(); ++i) {
        m_socket.abort();
        m_socket.connectToHost(m_addresses[i], m_port);
        if (m_socket.waitForConnected(remainingMs(deadline))) {
            m_addresses.move(i, 0);
            return LinkStatus::success();
        }
        status = socketFailure(deadline);
        if (deadline.hasExpired())
            break;
    }
    return status;
}

// Gives up the connection, so that a late answer cannot be taken for the next one's.
LinkStatus RigctldClient::socketFailure(const QDeadlineTimer &deadline)
{
    const QAbstractSocket::SocketError error = m_socket.error();
    const QString detail = m_socket.errorString();
    m_socket.abort();
    if (deadline.hasExpired() || error == QAbstractSocket::SocketTimeoutError)
        return failure(stationerror::RigNoAnswer,
                       QStringLiteral("O rigctld em %1 não respondeu a tempo.").arg(m_name));
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return failure(stationerror::RigUnreachable,
                       QStringLiteral("Não foi possível conectar ao rigctld em %1: conexão "
                                      "recusada.")
                           .arg(m_name));
    case QAbstractSocket::RemoteHostClosedError:
        return failure(stationerror::RigUnreachable,
                       QStringLiteral("O rigctld em %1 encerrou a conexão.").arg(m_name));
    default:
        return failure(
            stationerror::RigUnreachable,
            QStringLiteral("Não foi possível falar com o rigctld em %1: %2.").arg(m_name, detail));
    }
}

} // namespace anunciel
