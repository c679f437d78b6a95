// Reading a WAV file's header: which files the station can play, and for how long.

#include "link/audio/SoundConversion.h"
#include "link/audio/WavFile.h"
#include "link/audio/WavSampleDevice.h"
#include "support/Wav.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <cmath>
#include <cstring>

using namespace anunciel;
using namespace anunciel::test;

namespace {

QByteArray extensibleBody(quint16 channels, quint32 rate, quint16 bits, quint16 subformat)
{
    static const QByteArray guidTail("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71",
                                     14);
    return fmtBody(0xFFFE, channels, rate, bits) + le16(22) + le16(bits) + le32(0) +
           le16(subformat) + guidTail;
}

QByteArray samples(int bytes)
{
    QByteArray b(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        b[i] = char(i * 7);
    return b;
}

WavInfo parse(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readWavHeader(buffer);
}

// The tone's frequency from the time between its first and last rising zero crossings in
// the middle of the channel, interpolated between samples.
double measuredHz(const std::vector<double> &channel, int rate)
{
    const size_t from = channel.size() / 10, to = channel.size() - channel.size() / 10;
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from; i + 1 < to; ++i)
        if (channel[i] < 0 && channel[i + 1] >= 0) {
            const double at = double(i) + channel[i] / (channel[i] - channel[i + 1]);
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
    return crossings < 2 ? 0 : (crossings - 1) * double(rate) / (last - first);
}

// Decoded output frames, channel by channel.
std::vector<std::vector<double>> outputChannels(const QByteArray &bytes, const OutputFormat &format)
{
    const int size = format.sample == OutputSampleFormat::Int16 ? 2 : 4;
    const qsizetype frames = bytes.size() / format.bytesPerFrame();
    std::vector<std::vector<double>> channels(size_t(format.channels));
    for (qsizetype f = 0; f < frames; ++f)
        for (int c = 0; c < format.channels; ++c) {
            const char *p = bytes.constData() + f * format.bytesPerFrame() + c * size;
            double v = 0;
            if (format.sample == OutputSampleFormat::Int16) {
                qint16 x;
                std::memcpy(&x, p, 2);
                v = x / 32768.0;
            } else if (format.sample == OutputSampleFormat::Int32) {
                qint32 x;
                std::memcpy(&x, p, 4);
                v = x / 2147483648.0;
            } else {
                float x;
                std::memcpy(&x, p, 4);
                v = x;
            }
            channels[size_t(c)].push_back(v);
        }
    return channels;
}

} // namespace

class TestWavFile : public QObject
{
    Q_OBJECT

private slots:
    void header_data();
    void header();
    void notAPlayableFile_data();
    void notAPlayableFile();
    void samplesDelivered_data();
    void samplesDelivered();
    void notPcmSaysWhatToRun_data();
    void notPcmSaysWhatToRun();
    void convertedToOutputFormat_data();
    void convertedToOutputFormat();
};

void TestWavFile::header_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("lengthMs");
    QTest::addColumn<int>("bytesPerSample");
    QTest::addColumn<qint64>("dataSize");

    const QByteArray mono8 = chunk("fmt ", fmtBody(1, 1, 8000, 8));
    QTest::newRow("8-bit mono 8 kHz, one second")
        << riff(mono8 + chunk("data", samples(8000))) << true << qint64(1000) << 1 << qint64(8000);
    QTest::newRow("16-bit stereo 44.1 kHz, half a second")
        << riff(chunk("fmt ", fmtBody(1, 2, 44100, 16)) + chunk("data", samples(88200))) << true
        << qint64(500) << 2 << qint64(88200);
    QTest::newRow("24-bit mono 48 kHz")
        << riff(chunk("fmt ", fmtBody(1, 1, 48000, 24)) + chunk("data", samples(144000))) << true
        << qint64(1000) << 3 << qint64(144000);
    QTest::newRow("partial millisecond rounds up")
        << riff(mono8 + chunk("data", samples(8001))) << true << qint64(1001) << 1 << qint64(8001);
    QTest::newRow("extensible PCM")
        << riff(chunk("fmt ", extensibleBody(2, 8000, 16, 1)) + chunk("data", samples(32000)))
        << true << qint64(1000) << 2 << qint64(32000);
    QTest::newRow("chunks before fmt and data, odd one padded")
        << riff(chunk("LIST", samples(13)) + mono8 + chunk("fact", le32(8000)) +
                chunk("data", samples(4000)))
        << true << qint64(500) << 1 << qint64(4000);
    QTest::newRow("data size past the end: plays what is there")
        << riff(mono8 + chunk("data", samples(4000), 16000)) << true << qint64(500) << 1
        << qint64(4000);
    QTest::newRow("data size at its maximum (streamed recording)")
        << riff(mono8 + chunk("data", samples(800), 0xFFFFFFFF)) << true << qint64(100) << 1
        << qint64(800);
    QTest::newRow("RIFF size at its maximum")
        << (QByteArray("RIFF") + le32(0xFFFFFFFF) + "WAVE" + mono8 + chunk("data", samples(80)))
        << true << qint64(10) << 1 << qint64(80);
    QTest::newRow("half frame at the end is dropped")
        << riff(chunk("fmt ", fmtBody(1, 2, 8000, 16)) + chunk("data", samples(32002))) << true
        << qint64(1000) << 2 << qint64(32000);

    const auto bad = [](const char *name, const QByteArray &bytes) {
        QTest::newRow(name) << bytes << false << qint64(0) << 0 << qint64(0);
    };
    bad("empty file", QByteArray());
    bad("not RIFF", riff(mono8 + chunk("data", samples(80)), "RIFX"));
    bad("RIFF but not WAVE", QByteArray("RIFF") + le32(100) + "AVI " + mono8);
    bad("truncated in the RIFF header", QByteArray("RIFF") + le32(100));
    bad("truncated in the fmt chunk", riff(mono8).left(12 + 8 + 10));
    bad("fmt chunk too short",
        riff(chunk("fmt ", fmtBody(1, 1, 8000, 8).left(12)) + chunk("data", samples(80))));
    bad("fmt size past the end", riff(chunk("fmt ", fmtBody(1, 1, 8000, 8), 0xFFFFFFF0)));
    bad("no fmt chunk", riff(chunk("data", samples(80))));
    bad("no data chunk", riff(mono8));
    bad("data chunk empty", riff(mono8 + chunk("data", QByteArray())));
    bad("data chunk shorter than a frame",
        riff(chunk("fmt ", fmtBody(1, 2, 8000, 16)) + chunk("data", samples(3))));
    bad("ADPCM", riff(chunk("fmt ", fmtBody(2, 1, 8000, 4)) + chunk("data", samples(80))));
    bad("mu-law", riff(chunk("fmt ", fmtBody(7, 1, 8000, 8)) + chunk("data", samples(80))));
    bad("IEEE float", riff(chunk("fmt ", fmtBody(3, 1, 8000, 32)) + chunk("data", samples(80))));
    bad("extensible, not PCM",
        riff(chunk("fmt ", extensibleBody(1, 8000, 32, 3)) + chunk("data", samples(80))));
    bad("no channels", riff(chunk("fmt ", fmtBody(1, 0, 8000, 8)) + chunk("data", samples(80))));
    bad("sample rate zero", riff(chunk("fmt ", fmtBody(1, 1, 0, 8)) + chunk("data", samples(80))));
    bad("sample rate huge",
        riff(chunk("fmt ", fmtBody(1, 1, 0xFFFFFFFF, 8)) + chunk("data", samples(80))));
    bad("64-bit samples",
        riff(chunk("fmt ", fmtBody(1, 1, 8000, 64)) + chunk("data", samples(80))));
    QByteArray manyChunks = mono8;
    for (int i = 0; i < 300; ++i)
        manyChunks += chunk("JUNK", QByteArray());
    bad("too many chunks before the data", riff(manyChunks + chunk("data", samples(80))));
    QByteArray misaligned = fmtBody(1, 2, 8000, 16);
    qToLittleEndian<quint16>(3, misaligned.data() + 12);
    bad("block align not a whole sample per channel",
        riff(chunk("fmt ", misaligned) + chunk("data", samples(80))));
}

void TestWavFile::header()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(qint64, lengthMs);
    QFETCH(int, bytesPerSample);
    QFETCH(qint64, dataSize);

    const WavInfo info = parse(bytes);
    QCOMPARE(info.ok, ok);
    if (!ok) {
        QVERIFY(!info.error.isEmpty());
        return;
    }
    QVERIFY2(info.error.isEmpty(), qPrintable(info.error));
    QCOMPARE(qint64(info.length.count()), lengthMs);
    QCOMPARE(info.bytesPerSample, bytesPerSample);
    QCOMPARE(info.dataSize, dataSize);
    // The samples really start where the header says.
    QCOMPARE(bytes.mid(info.dataOffset, 16), samples(16));
}

void TestWavFile::notAPlayableFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("folder") << "folder";
    QTest::newRow("pipe with no writer") << "pipe"; // opening it would block for ever
}

void TestWavFile::notAPlayableFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("aviso.wav"));
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(path));
    else if (kind == QLatin1String("pipe"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const WavInfo info = readWavFile(path);
    QVERIFY(!info.ok);
    QVERIFY(!info.error.isEmpty());
}

void TestWavFile::samplesDelivered_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("8-bit as is") << 8 << QByteArray("\x01\x80\xFF", 3)
                                 << QByteArray("\x01\x80\xFF", 3);
    QTest::newRow("16-bit as is") << 16 << QByteArray("\x01\x02\x03\x04", 4)
                                  << QByteArray("\x01\x02\x03\x04", 4);
    QTest::newRow("24-bit widened to 32") << 24 << QByteArray("\x01\x02\x03\xFD\xFE\xFF", 6)
                                          << QByteArray("\x00\x01\x02\x03\x00\xFD\xFE\xFF", 8);
}

void TestWavFile::samplesDelivered()
{
    QFETCH(int, bits);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.wav"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // A trailing chunk after the data must not be played.
    file.write(riff(chunk("fmt ", fmtBody(1, 1, 8000, quint16(bits))) + chunk("data", data) +
                    chunk("LIST", QByteArray("junkjunk"))));
    file.close();

    const WavInfo info = readWavFile(path);
    QVERIFY2(info.ok, qPrintable(info.error));
    WavSampleDevice device(path, info);
    QVERIFY(device.open());
    QCOMPARE(device.bytesAvailable(), qint64(expected.size()));
    QByteArray got;
    char buf[4];
    while (!device.atEnd()) {
        const qint64 n = device.read(buf, sizeof buf);
        QVERIFY(n > 0);
        got.append(buf, int(n));
    }
    QCOMPARE(got, expected);
}

// The guide's conversion, to run as it is, and one full stop at most where the player ends it.
void TestWavFile::notPcmSaysWhatToRun_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QString>("what");
    QTest::newRow("IEEE float") << fmtBody(3, 1, 8000, 32) << "o formato de áudio 3";
    QTest::newRow("mu-law") << fmtBody(7, 1, 8000, 8) << "o formato de áudio 7";
    QTest::newRow("extensible, IEEE float")
        << extensibleBody(1, 8000, 32, 3) << "o formato de áudio 3";
    QByteArray foreign = extensibleBody(1, 8000, 16, 1);
    foreign[30] = 'X'; // a subformat GUID of another family
    QTest::newRow("extensible, another family") << foreign << "um subformato estendido";
}

void TestWavFile::notPcmSaysWhatToRun()
{
    QFETCH(QByteArray, format);
    QFETCH(QString, what);
    const WavInfo info = parse(riff(chunk("fmt ", format) + chunk("data", samples(80))));
    QVERIFY(!info.ok);
    QCOMPARE(info.error, QStringLiteral("o arquivo tem %1, que não é PCM; converta-o com: sox "
                                        "ENTRADA.wav -b 8 -c 1 -r 8000 SAÍDA.wav norm -3")
                             .arg(what));
    QVERIFY(!info.error.endsWith(u'.') && !info.error.endsWith(u')'));
}

// Every file as the output takes it: its whole length and its pitch kept, at the output's
// rate, channels and sample format.
void TestWavFile::convertedToOutputFormat_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("outRate");
    QTest::addColumn<int>("outChannels");
    QTest::addColumn<int>("outSample");
    const int f32 = int(OutputSampleFormat::Float32), s16 = int(OutputSampleFormat::Int16),
              s32 = int(OutputSampleFormat::Int32);
    QTest::newRow("8 kHz 8-bit mono to 48 kHz stereo float") << 1 << 8000 << 8 << 48000 << 2 << f32;
    QTest::newRow("8 kHz 8-bit mono to 44.1 kHz stereo 16-bit")
        << 1 << 8000 << 8 << 44100 << 2 << s16;
    QTest::newRow("22.05 kHz 16-bit mono to 48 kHz mono 32-bit")
        << 1 << 22050 << 16 << 48000 << 1 << s32;
    QTest::newRow("44.1 kHz 16-bit stereo to 48 kHz stereo float")
        << 2 << 44100 << 16 << 48000 << 2 << f32;
    QTest::newRow("48 kHz 24-bit stereo to 48 kHz mono 16-bit")
        << 2 << 48000 << 24 << 48000 << 1 << s16;
    QTest::newRow("16 kHz 32-bit mono to 8 kHz six channels")
        << 1 << 16000 << 32 << 8000 << 6 << s16;
}

void TestWavFile::convertedToOutputFormat()
{
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(int, bits);
    QFETCH(int, outRate);
    QFETCH(int, outChannels);
    QFETCH(int, outSample);
    constexpr int kMs = 1500;
    constexpr double kHz = 1000;
    QBuffer file;
    file.setData(toneWav(channels, rate, bits, kMs, kHz));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const WavInfo info = readWavHeader(file);
    QVERIFY(info.ok);
    const OutputFormat format{outRate, outChannels, OutputSampleFormat(outSample)};
    const ConvertedSound sound = convertForOutput(file, info, format);
    QVERIFY2(sound.ok, qPrintable(sound.error));
    QCOMPARE(sound.bytes.size() % format.bytesPerFrame(), 0);
    // Whole: as many frames as the file lasts at the output's rate.
    const qint64 frames = sound.bytes.size() / format.bytesPerFrame();
    QVERIFY2(std::abs(frames - qint64(outRate) * kMs / 1000) <= 2,
             qPrintable(QString::number(frames)));
    const std::vector<std::vector<double>> out = outputChannels(sound.bytes, format);
    for (const std::vector<double> &channel : out) {
        const double hz = measuredHz(channel, outRate);
        QVERIFY2(std::abs(hz - kHz) / kHz < 0.005, qPrintable(QString::number(hz)));
        double peak = 0;
        for (double v : channel)
            peak = std::max(peak, std::abs(v));
        QVERIFY2(peak > 0.45 && peak < 0.56, qPrintable(QString::number(peak)));
    }
}

QTEST_GUILESS_MAIN(TestWavFile)
#include "test_wav_file.moc"
