#pragma once

// A WAV file's samples made ready for an output in the output's own format: its rate (by
// libsoxr, at its high quality), its channels and its sample format. An 8000 Hz, 8-bit file
// sent as it is leaves the rate conversion to the sound server, and some servers (PipeWire's
// PulseAudio service among them) play it off pitch and with gaps.

#include "link/audio/WavFile.h"

#include <QByteArray>
#include <QString>

namespace anunciel {

enum class OutputSampleFormat
{
    Int16,  // signed, little-endian
    Int32,  // signed, little-endian
    Float32 // little-endian, -1 to 1
};

struct OutputFormat
{
    int rate = 48000;
    int channels = 2;
    OutputSampleFormat sample = OutputSampleFormat::Float32;

    int bytesPerFrame() const { return channels * (sample == OutputSampleFormat::Int16 ? 2 : 4); }
};

struct ConvertedSound
{
    bool ok = false;
    QString error;    // in Portuguese, for the operator; empty when ok
    QByteArray bytes; // whole frames in the output's format
};

// The samples of `info`'s data chunk in `device` (open, seekable) for an output of `format`.
// A mono file goes to every channel; more channels than the output has are mixed down
// equally into a mono output, and past the output's count are dropped otherwise.
ConvertedSound convertForOutput(QIODevice &device, const WavInfo &info, const OutputFormat &format);

// The same, reading the file.
ConvertedSound convertFileForOutput(const QString &path, const WavInfo &info,
                                    const OutputFormat &format);

} // namespace anunciel
