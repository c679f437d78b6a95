#include "AudioOutputs.h"
#include "LinkOptions.h"
#include "StationSettings.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace anunciel {

namespace {

void print(const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

} // namespace

std::optional<int> runLinkOption(int argc, char *argv[])
{
    bool listOutputs = false;
    for (int i = 1; i < argc; ++i)
        listOutputs = listOutputs || std::strcmp(argv[i], kListOutputsOption) == 0;
    if (!listOutputs)
        return std::nullopt;

    // No window: this must work from a terminal on the station, or over ssh, with no display.
    QCoreApplication app(argc, argv);
    const QStringList lines = audioOutputLines();
    if (lines.isEmpty()) {
        print(QStringLiteral("Nenhuma saída de áudio encontrada."));
        std::fflush(stdout);
        return 1;
    }
    print(QStringLiteral("Saídas de áudio (* = a padrão do sistema). Para usar outra, copie o "
                         "nome ou o id para %1= no arquivo %2:")
              .arg(kAudioOutputKey, kStationSettingsFile));
    for (const QString &line : lines)
        print(line);
    std::fflush(stdout);
    return 0;
}

} // namespace anunciel
