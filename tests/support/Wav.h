#pragma once

// WAV files built in memory: whole, playable PCM files, and the RIFF pieces to build broken
// ones from.

#include <QByteArray>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace anunciel::test {

inline QByteArray le16(quint16 v)
{
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

inline QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// A chunk with its id and size (`declared`, when given, in place of the true size), padded
// to an even length.
inline QByteArray chunk(const QByteArray &id, const QByteArray &body, qint64 declared = -1)
{
    QByteArray c = id + le32(quint32(declared < 0 ? body.size() : declared)) + body;
    if (body.size() % 2)
        c += '\0';
    return c;
}

// The body of a "fmt " chunk.
inline QByteArray fmtBody(quint16 format, quint16 channels, quint32 rate, quint16 bits)
{
    const quint16 align = quint16(channels * ((bits + 7) / 8));
    return le16(format) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) +
           le16(bits);
}

inline QByteArray riff(const QByteArray &chunks, const QByteArray &magic = "RIFF")
{
    return magic + le32(quint32(4 + chunks.size())) + "WAVE" + chunks;
}

// A PCM file of silence lasting `milliseconds`.
inline QByteArray pcmWav(int channels, int rate, int bits, int milliseconds)
{
    const int align = channels * ((bits + 7) / 8);
    const int dataSize = int(qint64(rate) * milliseconds / 1000) * align;
    const QByteArray silence(dataSize, bits == 8 ? char(0x80) : char(0));
    return riff(chunk("fmt ", fmtBody(1, quint16(channels), quint32(rate), quint16(bits))) +
                chunk("data", silence));
}

// A sine tone at half of full scale, the same on every channel, as a PCM file.
inline QByteArray toneWav(int channels, int rate, int bits, int milliseconds, double hz)
{
    const int bytes = (bits + 7) / 8;
    const qint64 frames = qint64(rate) * milliseconds / 1000;
    QByteArray data;
    data.reserve(int(frames * channels * bytes));
    for (qint64 i = 0; i < frames; ++i) {
        const double v = 0.5 * std::sin(2 * M_PI * hz * double(i) / rate);
        for (int c = 0; c < channels; ++c) {
            if (bytes == 1) {
                data += char(quint8(std::lround(128 + v * 127)));
                continue;
            }
            const auto full = qint64(std::llround(v * double((qint64(1) << (bytes * 8 - 1)) - 1)));
            for (int b = 0; b < bytes; ++b)
                data += char((quint64(full) >> (8 * b)) & 0xff);
        }
    }
    return riff(chunk("fmt ", fmtBody(1, quint16(channels), quint32(rate), quint16(bits))) +
                chunk("data", data));
}

// As the operator is asked to record: 8 bits, mono, 8000 Hz.
inline QByteArray announcementWav(int milliseconds)
{
    return pcmWav(1, 8000, 8, milliseconds);
}

// 16-bit mono 8000 Hz samples as a PCM file.
inline QByteArray mono16Wav(const std::vector<qint16> &samples)
{
    QByteArray data;
    for (const qint16 sample : samples)
        data += le16(quint16(sample));
    return riff(chunk("fmt ", fmtBody(1, 1, 8000, 16)) + chunk("data", data));
}

// A voice as a receiver gives it, for the squelch read from the audio: syllables of 180 ms
// (a 150 Hz voice with its harmonics, about `levelDb` dBFS RMS) with 70 ms between them,
// shorter than any hang. It starts loud at once and ends with a syllable.
inline std::vector<qint16> speechSamples(int milliseconds, double levelDb)
{
    constexpr double pi = 3.14159265358979323846;
    const double peak = 32767.0 * std::pow(10.0, levelDb / 20.0) * std::sqrt(2.0) / 1.2;
    const int frames = 8000 * milliseconds / 1000;
    std::vector<qint16> samples(size_t(frames), 0);
    for (int i = 0; i < frames; ++i) {
        const int inCycle = i % (8 * 250);
        const bool voiced = inCycle < 8 * 180 || frames - i <= 8 * 180;
        if (!voiced)
            continue;
        const double t = i / 8000.0;
        const double v = std::sin(2 * pi * 150 * t) + 0.5 * std::sin(2 * pi * 450 * t) +
                         0.4 * std::sin(2 * pi * 750 * t);
        samples[size_t(i)] = qint16(std::lround(std::clamp(peak * v, -32767.0, 32767.0)));
    }
    return samples;
}

// Receiver hiss: white noise of `levelDb` dBFS RMS.
inline std::vector<qint16> hissSamples(int milliseconds, double levelDb, unsigned seed = 1)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 32768.0 * std::pow(10.0, levelDb / 20.0));
    std::vector<qint16> samples(size_t(8000 * milliseconds / 1000));
    for (qint16 &sample : samples)
        sample = qint16(std::clamp(std::lround(noise(random)), -32767L, 32767L));
    return samples;
}

} // namespace anunciel::test
