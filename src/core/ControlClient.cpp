#include "core/ControlClient.h"

#include "core/ControlServer.h"

#include <QDir>
#include <QLocalSocket>

namespace anunciel {

CommandAnswer askStation(const QString &folder, const QString &request)
{
    CommandAnswer answer;
    QLocalSocket socket;
    socket.connectToServer(controlSocketName(folder));
    if (!socket.waitForConnected(5000)) {
        answer.status = kCommandNoProgram;
        const QString where = QDir::toNativeSeparators(folder);
        if (socket.error() == QLocalSocket::SocketAccessError)
            answer.errors << QStringLiteral("O Anunciel da pasta %1 não aceita comandos deste "
                                            "usuário (%2).")
                                 .arg(where, socket.errorString());
        else
            answer.errors << QStringLiteral("Nenhum Anunciel está rodando na pasta %1.").arg(where);
        return answer;
    }
    socket.write(request.toUtf8() + '\n');
    socket.flush();
    // A send's answer comes when the file has played: no time limit, but a program that ends
    // meanwhile closes the connection.
    for (;;) {
        while (socket.canReadLine()) {
            const QString line = QString::fromUtf8(socket.readLine()).chopped(1);
            if (line.startsWith(QStringLiteral("= "))) {
                bool isNumber = false;
                answer.status = line.mid(2).toInt(&isNumber);
                if (!isNumber)
                    answer.status = kCommandNotDone;
                return answer;
            }
            (line.startsWith(u'!') ? answer.errors : answer.output) << line.mid(2);
        }
        if (socket.state() != QLocalSocket::ConnectedState)
            break;
        socket.waitForReadyRead(-1);
    }
    answer.status = kCommandNotDone;
    answer.errors << QStringLiteral("O programa fechou a ligação antes de responder; o resultado "
                                    "não é conhecido (veja o registro).");
    return answer;
}

} // namespace anunciel
