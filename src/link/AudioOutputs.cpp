#include "AudioOutputs.h"

#include <QMediaDevices>

namespace anunciel {

QAudioDevice findAudioOutput(const QString &name)
{
    const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
    if (name.isEmpty()) {
        QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull() && !outputs.isEmpty())
            device = outputs.first();
        return device;
    }
    // Descriptions are what the operator sees and may be translated; the id stays the same
    // whatever the desktop's language. Either is taken, the description first.
    for (const QAudioDevice &device : outputs)
        if (device.description() == name)
            return device;
    for (const QAudioDevice &device : outputs)
        if (QString::fromUtf8(device.id()) == name)
            return device;
    return {};
}

QStringList audioOutputLines()
{
    const QByteArray defaultId = QMediaDevices::defaultAudioOutput().id();
    QStringList lines;
    for (const QAudioDevice &device : QMediaDevices::audioOutputs())
        lines << QStringLiteral("%1 %2   (id: %3)")
                     .arg(device.id() == defaultId ? QStringLiteral("*") : QStringLiteral(" "),
                          device.description(), QString::fromUtf8(device.id()));
    return lines;
}

} // namespace anunciel
