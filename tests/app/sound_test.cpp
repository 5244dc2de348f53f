#include <gtest/gtest.h>

#include <QCoroTask>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include "app/alertsound.h"

namespace vantel {
namespace {

QByteArray Le16(int v) {
    QByteArray b(2, 0);
    qToLittleEndian<quint16>(quint16(v), b.data());
    return b;
}
QByteArray Le32(qint64 v) {
    QByteArray b(4, 0);
    qToLittleEndian<quint32>(quint32(v), b.data());
    return b;
}

QByteArray Wave(int format, int channels, int rate, int bits, const QByteArray &samples,
                const QByteArray &extraChunk = {}) {
    QByteArray fmt = Le16(format) + Le16(channels) + Le32(rate) +
                     Le32(qint64(rate) * channels * bits / 8) + Le16(channels * bits / 8) +
                     Le16(bits);
    QByteArray body = "WAVE" + QByteArray("fmt ") + Le32(fmt.size()) + fmt + extraChunk + "data" +
                      Le32(samples.size()) + samples;
    return "RIFF" + Le32(body.size()) + body;
}

TEST(WaveTest, ReadsPcmClipsAndRefusesTheRest) {
    const QByteArray second16(8000 * 2, '\x01');
    const QByteArray list = "LIST" + Le32(3) + "abc" + QByteArray(1, 0);  // odd size: padded
    struct Case {
        const char *name;
        QByteArray file;
        bool ok;
        int channels;
        qint64 ms;
    } cases[] = {
        {"16-bit mono", Wave(1, 1, 8000, 16, second16), true, 1, 1000},
        {"8-bit stereo", Wave(1, 2, 11025, 8, QByteArray(11026, 'x')), true, 2, 500},
        {"chunk before data", Wave(1, 1, 8000, 16, second16, list), true, 1, 1000},
        {"odd trailing octet dropped", Wave(1, 1, 8000, 16, QByteArray(801, 'x')), true, 1, 50},
        {"data longer than the file", Wave(1, 1, 8000, 16, second16).left(44 + 1600), true, 1, 100},
        {"not pcm", Wave(3, 1, 8000, 32, second16), false, 0, 0},
        {"24-bit", Wave(1, 1, 8000, 24, second16), false, 0, 0},
        {"no format chunk", "RIFF" + Le32(4) + "WAVE", false, 0, 0},
        {"not riff", "garbage that is not a wave file", false, 0, 0},
        {"empty", {}, false, 0, 0},
        {"huge chunk size", "RIFF" + Le32(100) + "WAVEfmt " + Le32(0xFFFFFFF0), false, 0, 0},
    };
    for (const Case &c : cases) {
        const auto clip = ParseWave(c.file);
        ASSERT_EQ(clip.has_value(), c.ok) << c.name;
        if (!clip) continue;
        EXPECT_EQ(clip->channels, c.channels) << c.name;
        EXPECT_EQ(clip->duration().count(), c.ms) << c.name;
    }
}

TEST(WaveTest, MissingOrBrokenFileIsSilentAndImmediate) {
    QTemporaryDir dir;
    QFile broken(dir.filePath("broken.wav"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("RIFF....WAVE");
    broken.close();
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(QCoro::waitFor(PlayWaveFile(dir.filePath("mcitest.wav"))));
    EXPECT_FALSE(QCoro::waitFor(PlayWaveFile(broken.fileName())));
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(WaveTest, PlayingEndsWithinTheClipLengthPlusTwoSeconds) {
    QTemporaryDir dir;
    QFile clip(dir.filePath("mcitest.wav"));
    ASSERT_TRUE(clip.open(QIODevice::WriteOnly));
    clip.write(Wave(1, 1, 8000, 16, QByteArray(8000, 0)));  // half a second of silence
    clip.close();
    QElapsedTimer clock;
    clock.start();
    QCoro::waitFor(PlayWaveFile(clip.fileName()));  // played, or no sound device here
    EXPECT_LT(clock.elapsed(), 2500 + 500);
}

}  // namespace
}  // namespace vantel
