#pragma once

// WAV files built in memory: whole, playable PCM files, and the RIFF pieces to build broken
// ones from.

#include <QByteArray>
#include <QtEndian>

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

// As the operator is asked to record: 8 bits, mono, 8000 Hz.
inline QByteArray announcementWav(int milliseconds)
{
    return pcmWav(1, 8000, 8, milliseconds);
}

} // namespace anunciel::test
