#pragma once

// What the player needs to know about a WAV file before sending it to the sound card: where
// its samples lie, their layout, and how long they play. Only integer PCM is accepted.

#include <QString>

#include <chrono>

class QIODevice;

namespace anunciel {

struct WavInfo
{
    bool ok = false;
    QString error; // why the file cannot be played, in Portuguese; empty when ok

    int channels = 0;
    int sampleRate = 0;
    int bytesPerSample = 0; // container size: 1 (unsigned), 2, 3 or 4 (signed)
    int blockAlign = 0;     // bytes per frame
    qint64 dataOffset = 0;  // where the samples start in the file
    qint64 dataSize = 0;    // bytes of samples actually present, whole frames only
    std::chrono::milliseconds length{0};
};

// Reads the RIFF header from the device's start. The device must be open and its size known.
WavInfo readWavHeader(QIODevice &device);

// The same for a file on disk.
WavInfo readWavFile(const QString &path);

} // namespace anunciel
