#include "link/audio/SoundConversion.h"

#include <QFile>

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace anunciel {

namespace {

// The file's samples as floats, interleaved as in the file.
std::vector<float> decode(const QByteArray &raw, int bytesPerSample)
{
    const qsizetype count = raw.size() / bytesPerSample;
    std::vector<float> samples(static_cast<size_t>(count));
    const auto *bytes = reinterpret_cast<const unsigned char *>(raw.constData());
    for (qsizetype i = 0; i < count; ++i) {
        const unsigned char *b = bytes + i * bytesPerSample;
        float value = 0;
        switch (bytesPerSample) {
        case 1: // unsigned, 128 is silence
            value = (float(b[0]) - 128.0f) / 128.0f;
            break;
        case 2:
            value = float(std::int16_t(std::uint16_t(b[0] | (b[1] << 8)))) / 32768.0f;
            break;
        case 3: {
            const auto v = std::int32_t(std::uint32_t(b[0]) << 8 | std::uint32_t(b[1]) << 16 |
                                        std::uint32_t(b[2]) << 24);
            value = float(v / 256) / 8388608.0f;
            break;
        }
        default: {
            const std::int32_t v = std::int32_t(std::uint32_t(b[0] | b[1] << 8 | b[2] << 16) |
                                                std::uint32_t(b[3]) << 24);
            value = float(double(v) / 2147483648.0);
            break;
        }
        }
        samples[size_t(i)] = value;
    }
    return samples;
}

std::vector<float> remapChannels(const std::vector<float> &in, int from, int to)
{
    if (from == to)
        return in;
    const size_t frames = in.size() / size_t(from);
    std::vector<float> out(frames * size_t(to), 0.0f);
    for (size_t f = 0; f < frames; ++f) {
        const float *src = &in[f * size_t(from)];
        float *dst = &out[f * size_t(to)];
        if (from == 1) {
            std::fill(dst, dst + to, src[0]);
        } else if (to == 1) {
            float sum = 0;
            for (int c = 0; c < from; ++c)
                sum += src[c];
            dst[0] = sum / float(from);
        } else {
            for (int c = 0; c < std::min(from, to); ++c)
                dst[c] = src[c];
        }
    }
    return out;
}

void encode(const std::vector<float> &samples, OutputSampleFormat format, QByteArray &out)
{
    const auto clamp = [](float v) { return std::clamp(v, -1.0f, 1.0f); };
    switch (format) {
    case OutputSampleFormat::Float32:
        out.resize(qsizetype(samples.size() * 4));
        for (size_t i = 0; i < samples.size(); ++i) {
            const float v = clamp(samples[i]);
            std::uint32_t bits;
            std::memcpy(&bits, &v, 4);
            for (int b = 0; b < 4; ++b)
                out[qsizetype(i * 4 + size_t(b))] = char((bits >> (8 * b)) & 0xff);
        }
        break;
    case OutputSampleFormat::Int16:
        out.resize(qsizetype(samples.size() * 2));
        for (size_t i = 0; i < samples.size(); ++i) {
            const auto v = std::int16_t(std::lrint(clamp(samples[i]) * 32767.0f));
            out[qsizetype(i * 2)] = char(v & 0xff);
            out[qsizetype(i * 2 + 1)] = char((std::uint16_t(v) >> 8) & 0xff);
        }
        break;
    case OutputSampleFormat::Int32:
        out.resize(qsizetype(samples.size() * 4));
        for (size_t i = 0; i < samples.size(); ++i) {
            const auto v = std::int32_t(std::llrint(double(clamp(samples[i])) * 2147483647.0));
            for (int b = 0; b < 4; ++b)
                out[qsizetype(i * 4 + size_t(b))] = char((std::uint32_t(v) >> (8 * b)) & 0xff);
        }
        break;
    }
}

} // namespace

ConvertedSound convertForOutput(QIODevice &device, const WavInfo &info, const OutputFormat &format)
{
    ConvertedSound converted;
    if (!info.ok || info.channels <= 0 || info.bytesPerSample <= 0 || format.channels <= 0 ||
        format.rate <= 0) {
        converted.error = QStringLiteral("formato de áudio inválido");
        return converted;
    }
    if (!device.seek(info.dataOffset)) {
        converted.error = QStringLiteral("o arquivo não pôde ser lido");
        return converted;
    }
    const QByteArray raw = device.read(info.dataSize);
    const qsizetype whole = raw.size() / info.blockAlign * info.blockAlign;
    std::vector<float> samples = decode(raw.left(whole), info.bytesPerSample);
    const size_t frames = samples.size() / size_t(info.channels);

    if (info.sampleRate != format.rate && frames > 0) {
        // Resampled in the file's own channels: fewer to convert when the output has more.
        const double ratio = double(format.rate) / double(info.sampleRate);
        const size_t outFrames = size_t(std::llround(double(frames) * ratio));
        std::vector<float> resampled(outFrames * size_t(info.channels));
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        size_t done = 0;
        const soxr_error_t error = soxr_oneshot(
            info.sampleRate, format.rate, unsigned(info.channels), samples.data(), frames, nullptr,
            resampled.data(), outFrames, &done, &io, &quality, nullptr);
        if (error) {
            converted.error = QStringLiteral("a conversão da taxa de amostragem falhou (%1)")
                                  .arg(QString::fromUtf8(error));
            return converted;
        }
        resampled.resize(done * size_t(info.channels));
        samples = std::move(resampled);
    }
    encode(remapChannels(samples, info.channels, format.channels), format.sample, converted.bytes);
    converted.ok = true;
    return converted;
}

ConvertedSound convertFileForOutput(const QString &path, const WavInfo &info,
                                    const OutputFormat &format)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ConvertedSound converted;
        converted.error = QStringLiteral("o arquivo não pôde ser aberto");
        return converted;
    }
    return convertForOutput(file, info, format);
}

} // namespace anunciel
