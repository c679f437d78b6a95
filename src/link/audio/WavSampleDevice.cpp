#include "link/audio/WavSampleDevice.h"

#include <algorithm>

namespace anunciel {

WavSampleDevice::WavSampleDevice(const QString &path, const WavInfo &info, QObject *parent)
    : QIODevice(parent), m_file(path), m_info(info)
{
}

bool WavSampleDevice::open()
{
    if (!m_info.ok || !m_file.open(QIODevice::ReadOnly) || !m_file.seek(m_info.dataOffset))
        return false;
    m_read = 0;
    return QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

int WavSampleDevice::outputBytesPerSample() const
{
    return m_info.bytesPerSample == 3 ? 4 : m_info.bytesPerSample;
}

bool WavSampleDevice::atEnd() const
{
    return bytesAvailable() == 0;
}

qint64 WavSampleDevice::bytesAvailable() const
{
    const qint64 left = m_info.dataSize - m_read;
    const qint64 out = m_info.bytesPerSample == 3 ? left / 3 * 4 : left;
    return out + QIODevice::bytesAvailable();
}

qint64 WavSampleDevice::readData(char *data, qint64 maxSize)
{
    const qint64 left = m_info.dataSize - m_read;
    if (left <= 0)
        return 0;
    if (m_info.bytesPerSample != 3) {
        const qint64 n = m_file.read(data, std::min(maxSize, left));
        if (n <= 0)
            m_read = m_info.dataSize; // the file shrank under us: that is its end
        else
            m_read += n;
        return std::max<qint64>(n, 0);
    }
    // 24-bit little-endian samples become the top three bytes of 32-bit ones.
    const qint64 samples = std::min(maxSize / 4, left / 3);
    if (samples == 0)
        return 0;
    QByteArray packed(samples * 3, Qt::Uninitialized);
    const qint64 n = m_file.read(packed.data(), packed.size());
    const qint64 whole = std::max<qint64>(n, 0) / 3;
    if (whole == 0) {
        m_read = m_info.dataSize;
        return 0;
    }
    for (qint64 i = 0; i < whole; ++i) {
        data[i * 4] = 0;
        data[i * 4 + 1] = packed[i * 3];
        data[i * 4 + 2] = packed[i * 3 + 1];
        data[i * 4 + 3] = packed[i * 3 + 2];
    }
    m_read += whole * 3;
    if (n % 3)
        m_file.seek(m_info.dataOffset + m_read); // keep sample alignment
    return whole * 4;
}

} // namespace anunciel
