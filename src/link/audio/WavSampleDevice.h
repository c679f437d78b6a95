#pragma once

// The samples of a WAV file as a sequential device for the audio output: only the data
// chunk, whole frames, with 24-bit samples widened to 32 bits (the output has no 24-bit
// format).

#include "link/audio/WavFile.h"

#include <QFile>
#include <QIODevice>

namespace anunciel {

class WavSampleDevice final : public QIODevice
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WavSampleDevice)

public:
    WavSampleDevice(const QString &path, const WavInfo &info, QObject *parent = nullptr);

    // Opens the file read-only at the first sample.
    bool open();
    // Bytes per sample as delivered: 4 for 24-bit files, the file's own otherwise.
    int outputBytesPerSample() const;

    bool isSequential() const override { return true; }
    bool atEnd() const override;
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QFile m_file;
    WavInfo m_info;
    qint64 m_read = 0; // bytes of the data chunk consumed
};

} // namespace anunciel
