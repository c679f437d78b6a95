#include "link/audio/AudioOutputs.h"

#include <QMediaDevices>

namespace anunciel {

namespace {

QAudioDevice findDevice(const QList<QAudioDevice> &devices, const QAudioDevice &defaultDevice,
                        const QString &name)
{
    if (name.isEmpty()) {
        QAudioDevice device = defaultDevice;
        if (device.isNull() && !devices.isEmpty())
            device = devices.first();
        return device;
    }
    // Descriptions are what the operator sees and may be translated; the id stays the same
    // whatever the desktop's language. Either is taken, the description first.
    for (const QAudioDevice &device : devices)
        if (device.description() == name)
            return device;
    for (const QAudioDevice &device : devices)
        if (QString::fromUtf8(device.id()) == name)
            return device;
    return {};
}

QStringList deviceLines(const QList<QAudioDevice> &devices, const QAudioDevice &defaultDevice)
{
    const QByteArray defaultId = defaultDevice.id();
    QStringList lines;
    for (const QAudioDevice &device : devices)
        lines << QStringLiteral("%1 %2   (id: %3)")
                     .arg(device.id() == defaultId ? QStringLiteral("*") : QStringLiteral(" "),
                          device.description(), QString::fromUtf8(device.id()));
    return lines;
}

} // namespace

QAudioDevice findAudioOutput(const QString &name)
{
    return findDevice(QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput(), name);
}

QStringList audioOutputLines()
{
    return deviceLines(QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput());
}

QAudioDevice findAudioInput(const QString &name)
{
    return findDevice(QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput(), name);
}

QStringList audioInputLines()
{
    return deviceLines(QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput());
}

} // namespace anunciel
