#include "link/audio/WavFile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace anunciel {

namespace {

constexpr quint16 kFormatPcm = 1;
constexpr quint16 kFormatExtensible = 0xFFFE;
// The tail of the KSDATAFORMAT_SUBTYPE_PCM GUID; its first two bytes are the format code.
constexpr char kPcmGuidTail[] = "\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";
constexpr int kMaxChannels = 32;
constexpr int kMaxSampleRate = 768000;
// Real files carry a handful of chunks; the walk runs on the user-interface thread.
constexpr int kMaxChunks = 256;

WavInfo failed(const QString &why)
{
    WavInfo info;
    info.error = why;
    return info;
}

quint16 u16(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

quint32 u32(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

// What the operator can run instead: the conversion the operator's guide gives, so that the
// file matches the others.
QString notPcm(const QString &what)
{
    return QStringLiteral("o arquivo tem %1, que não é PCM; converta-o com: sox ENTRADA.wav -b 8 "
                          "-c 1 -r 8000 SAÍDA.wav norm -3")
        .arg(what);
}

// Reads the "fmt " chunk body into `info`. Empty string when it describes playable PCM.
QString readFormat(const QByteArray &body, WavInfo &info)
{
    if (body.size() < 16)
        return QStringLiteral("bloco de formato incompleto");
    quint16 format = u16(body, 0);
    if (format == kFormatExtensible) {
        if (body.size() < 40)
            return QStringLiteral("bloco de formato estendido incompleto");
        if (body.mid(26, 14) != QByteArray(kPcmGuidTail, 14))
            return notPcm(QStringLiteral("um subformato estendido"));
        format = u16(body, 24);
    }
    if (format != kFormatPcm)
        return notPcm(QStringLiteral("o formato de áudio %1").arg(format));

    const quint16 channels = u16(body, 2);
    const quint32 rate = u32(body, 4);
    const quint16 blockAlign = u16(body, 12);
    const quint16 bits = u16(body, 14);
    if (channels == 0 || channels > kMaxChannels)
        return QStringLiteral("número de canais inválido (%1)").arg(channels);
    if (rate == 0 || rate > kMaxSampleRate)
        return QStringLiteral("taxa de amostragem inválida (%1 Hz)").arg(rate);
    if (blockAlign == 0 || blockAlign % channels != 0)
        return QStringLiteral("alinhamento de quadro inválido (%1)").arg(blockAlign);
    const int container = blockAlign / channels;
    if (container < 1 || container > 4 || bits == 0 || bits > container * 8)
        return QStringLiteral("%1 bits por amostra não suportados").arg(bits);

    info.channels = channels;
    info.sampleRate = int(rate);
    info.blockAlign = blockAlign;
    info.bytesPerSample = container;
    return {};
}

} // namespace

WavInfo readWavHeader(QIODevice &device)
{
    const qint64 fileSize = device.size();
    const QByteArray riff = device.read(12);
    if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE")
        return failed(QStringLiteral("não é um arquivo WAV (RIFF/WAVE)"));

    WavInfo info;
    bool haveFormat = false;
    qint64 pos = 12;
    int chunks = 0;
    // The RIFF size is often wrong in files written by streaming tools: walk the chunks
    // up to the real end of the file instead.
    while (pos + 8 <= fileSize) {
        if (++chunks > kMaxChunks)
            return failed(QStringLiteral("blocos demais antes dos dados de áudio"));
        if (!device.seek(pos))
            return failed(QStringLiteral("erro de leitura"));
        const QByteArray head = device.read(8);
        if (head.size() < 8)
            return failed(QStringLiteral("erro de leitura"));
        const QByteArray id = head.left(4);
        const qint64 size = u32(head, 4);
        const qint64 body = pos + 8;

        if (id == "fmt ") {
            if (size > 1024 || body + size > fileSize)
                return failed(QStringLiteral("bloco de formato inválido"));
            const QByteArray fmt = device.read(size);
            if (fmt.size() != size)
                return failed(QStringLiteral("erro de leitura"));
            const QString why = readFormat(fmt, info);
            if (!why.isEmpty())
                return failed(why);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return failed(QStringLiteral("dados de áudio antes do bloco de formato"));
            // A data size past the end of the file (truncated copy, or a size left at
            // its maximum by a recorder) plays what is really there.
            const qint64 present = std::min(size, fileSize - body);
            info.dataOffset = body;
            info.dataSize = present - present % info.blockAlign;
            if (info.dataSize <= 0)
                return failed(QStringLiteral("o arquivo não contém amostras de áudio"));
            const qint64 bytesPerSecond = qint64(info.sampleRate) * info.blockAlign;
            info.length = std::chrono::milliseconds((info.dataSize * 1000 + bytesPerSecond - 1) /
                                                    bytesPerSecond);
            info.ok = true;
            return info;
        }
        pos = body + size + (size & 1); // chunks are padded to an even size
    }
    return failed(haveFormat ? QStringLiteral("o arquivo não contém dados de áudio")
                             : QStringLiteral("bloco de formato ausente"));
}

WavInfo readWavFile(const QString &path)
{
    // A pipe or a device would block the opening or the reading: regular files only.
    const QFileInfo info(path);
    if (!info.isFile())
        return failed(info.exists() ? QStringLiteral("não é um arquivo comum")
                                    : QStringLiteral("o arquivo não existe"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failed(
            QStringLiteral("não foi possível abrir o arquivo: %1").arg(file.errorString()));
    return readWavHeader(file);
}

} // namespace anunciel
