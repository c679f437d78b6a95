#pragma once

// PTT and squelch of the station's radio through Hamlib's rigctld network protocol. Every
// exchange blocks the calling thread until its deadline at most and never runs the event
// loop; a connection lost or timed out is made afresh by the next exchange.

#include "link/LinkObject.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QTcpSocket>

namespace anunciel {

class RigctldClient
{
    Q_DISABLE_COPY_MOVE(RigctldClient)

public:
    // `name` is how messages name the daemon (host:port as the operator wrote it). A name
    // may stand for several addresses (localhost: ::1 and 127.0.0.1) of which rigctld
    // listens on some only: each connection tries them in turn, the last good one first.
    RigctldClient(const QList<QHostAddress> &addresses, quint16 port, const QString &name);

    const QString &name() const { return m_name; }

    // `T 1` / `T 0`.
    LinkStatus setPtt(bool on, const QDeadlineTimer &deadline);
    // `\get_dcd`: true while the squelch is open (a signal on the channel).
    LinkStatus squelchOpen(bool &open, const QDeadlineTimer &deadline);

private:
    // Sends one command line and reads the one answer line (without its line end).
    LinkStatus exchange(const QByteArray &command, QByteArray &answer,
                        const QDeadlineTimer &deadline);
    LinkStatus exchangeOnce(const QByteArray &command, QByteArray &answer,
                            const QDeadlineTimer &deadline, bool &connectionLost);
    LinkStatus connectSocket(const QDeadlineTimer &deadline);
    LinkStatus socketFailure(const QDeadlineTimer &deadline);

    QList<QHostAddress> m_addresses;
    quint16 m_port;
    QString m_name;
    QTcpSocket m_socket;
};

} // namespace anunciel
