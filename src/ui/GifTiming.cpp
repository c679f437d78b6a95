#include "GifTiming.h"

namespace anunciel {

namespace {

// Reads bytes of the file with bounds checks; every read past the end fails.
class Reader
{
public:
    explicit Reader(const QByteArray &data) : m_data(data) {}
    bool byte(int &value)
    {
        if (m_pos >= m_data.size())
            return false;
        value = static_cast<unsigned char>(m_data[m_pos++]);
        return true;
    }
    bool skip(qsizetype count)
    {
        if (count > m_data.size() - m_pos)
            return false;
        m_pos += count;
        return true;
    }
    // Data sub-blocks: a length byte, that many bytes, until a length of 0.
    bool skipSubBlocks()
    {
        int length = 0;
        do {
            if (!byte(length) || !skip(length))
                return false;
        } while (length != 0);
        return true;
    }

private:
    const QByteArray &m_data;
    qsizetype m_pos = 0;
};

constexpr int kColourTableFlag = 0x80;

bool skipColourTable(Reader &in, int packed)
{
    if (!(packed & kColourTableFlag))
        return true;
    return in.skip(3 * (qsizetype(2) << (packed & 0x07)));
}

} // namespace

std::vector<int> gifFrameDelays(const QByteArray &gif)
{
    std::vector<int> delays;
    if (!gif.startsWith("GIF87a") && !gif.startsWith("GIF89a"))
        return delays;
    Reader in(gif);
    int packed = 0;
    // Header, then the logical screen: width, height, packed fields, background, aspect.
    if (!in.skip(6 + 4) || !in.byte(packed) || !in.skip(2) || !skipColourTable(in, packed))
        return delays;

    int pendingDelay = 0;
    for (;;) {
        int introducer = 0;
        if (!in.byte(introducer))
            return delays;
        switch (introducer) {
        case 0x21: { // extension
            int label = 0;
            if (!in.byte(label))
                return delays;
            if (label == 0xF9) { // graphic control: size 4, packed, delay (1/100 s), index
                int size = 0, lo = 0, hi = 0;
                if (!in.byte(size) || size < 4 || !in.skip(1) || !in.byte(lo) || !in.byte(hi) ||
                    !in.skip(size - 3))
                    return delays;
                pendingDelay = (lo | (hi << 8)) * 10;
            }
            if (!in.skipSubBlocks())
                return delays;
            break;
        }
        case 0x2C: // image: position and size, packed, colour table, code size, data
            if (!in.skip(8) || !in.byte(packed) || !skipColourTable(in, packed) || !in.skip(1) ||
                !in.skipSubBlocks())
                return delays;
            delays.push_back(pendingDelay);
            pendingDelay = 0;
            break;
        case 0x3B: // trailer
        default:   // not a GIF block: the rest cannot be read
            return delays;
        }
    }
}

} // namespace anunciel
