#include "link/audio/AudioOutputs.h"
#include "link/LinkOptions.h"
#include "settings/StationSettings.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace anunciel {

namespace {

void print(const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

int printDevices(const QStringList &lines, const QString &none, const QString &title,
                 const QString &key)
{
    if (lines.isEmpty()) {
        print(none);
        return 1;
    }
    print(QStringLiteral("%1 (* = a padrão do sistema). Para usar outra, copie o nome ou o id "
                         "para %2= no arquivo %3:")
              .arg(title, key, kStationSettingsFile));
    for (const QString &line : lines)
        print(line);
    return 0;
}

} // namespace

std::optional<int> runLinkOption(int argc, char *argv[])
{
    bool listOutputs = false;
    bool listInputs = false;
    for (int i = 1; i < argc; ++i) {
        listOutputs = listOutputs || std::strcmp(argv[i], kListOutputsOption) == 0;
        listInputs = listInputs || std::strcmp(argv[i], kListInputsOption) == 0;
    }
    if (!listOutputs && !listInputs)
        return std::nullopt;

    // No window: this must work from a terminal on the station, or over ssh, with no display.
    QCoreApplication app(argc, argv);
    int status = 0;
    if (listOutputs)
        status = std::max(status, printDevices(audioOutputLines(),
                                               QStringLiteral("Nenhuma saída de áudio encontrada."),
                                               QStringLiteral("Saídas de áudio"), kAudioOutputKey));
    if (listInputs)
        status =
            std::max(status, printDevices(audioInputLines(),
                                          QStringLiteral("Nenhuma entrada de áudio encontrada."),
                                          QStringLiteral("Entradas de áudio"), kAudioInputKey));
    std::fflush(stdout);
    return status;
}

} // namespace anunciel
