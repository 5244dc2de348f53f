#include "app/alertsound.h"

#include <alsa/asoundlib.h>

#include <QFile>
#include <QThread>
#include <QtEndian>
#include <atomic>
#include <memory>

#include "link/wait.h"

namespace vantel {

namespace {

void QuietAlsa(const char *, int, const char *, int, const char *, ...) {}

struct PlayState {
    std::atomic<bool> stop{false};
    std::atomic<bool> played{false};
};

void PlayOnThisThread(const WaveClip &clip, PlayState &state) {
    snd_lib_error_set_handler(QuietAlsa);
    snd_pcm_t *pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return;
    const snd_pcm_format_t format =
        clip.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, unsigned(clip.channels),
                           unsigned(clip.sampleRate), 1, 200000) < 0) {
        snd_pcm_close(pcm);
        return;
    }
    const qsizetype frameBytes = qsizetype(clip.channels) * clip.bitsPerSample / 8;
    const char *data = clip.samples.constData();
    snd_pcm_uframes_t left = snd_pcm_uframes_t(clip.samples.size() / frameBytes);
    bool ok = true;
    while (left > 0 && !state.stop.load()) {
        const snd_pcm_uframes_t chunk = std::min<snd_pcm_uframes_t>(left, 4096);
        snd_pcm_sframes_t written = snd_pcm_writei(pcm, data, chunk);
        if (written < 0) written = snd_pcm_recover(pcm, int(written), 1);
        if (written < 0) {
            ok = false;
            break;
        }
        data += written * frameBytes;
        left -= snd_pcm_uframes_t(written);
    }
    if (ok && !state.stop.load()) {
        snd_pcm_drain(pcm);
        state.played = true;
    }
    snd_pcm_close(pcm);
}

}  // namespace

std::chrono::milliseconds WaveClip::duration() const {
    const qint64 bytesPerSecond = qint64(sampleRate) * channels * bitsPerSample / 8;
    if (bytesPerSecond <= 0) return {};
    return std::chrono::milliseconds(samples.size() * 1000 / bytesPerSecond);
}

std::optional<WaveClip> ParseWave(const QByteArray &file) {
    if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE") return {};
    WaveClip clip;
    bool haveFormat = false;
    qsizetype pos = 12;
    while (pos + 8 <= file.size()) {
        const QByteArray id = file.mid(pos, 4);
        const quint32 size = qFromLittleEndian<quint32>(file.constData() + pos + 4);
        const qsizetype body = pos + 8;
        const qsizetype available = std::min<qsizetype>(size, file.size() - body);
        if (id == "fmt " && available >= 16) {
            const char *f = file.constData() + body;
            if (qFromLittleEndian<quint16>(f) != 1) return {};  // PCM only
            clip.channels = qFromLittleEndian<quint16>(f + 2);
            clip.sampleRate = int(qFromLittleEndian<quint32>(f + 4));
            clip.bitsPerSample = qFromLittleEndian<quint16>(f + 14);
            haveFormat = true;
        } else if (id == "data") {
            clip.samples = file.mid(body, available);
        }
        pos = body + qsizetype(size) + (size & 1);
    }
    if (!haveFormat || clip.channels < 1 || clip.channels > 8 || clip.sampleRate < 1000 ||
        clip.sampleRate > 192000 || (clip.bitsPerSample != 8 && clip.bitsPerSample != 16))
        return {};
    const qsizetype frameBytes = qsizetype(clip.channels) * clip.bitsPerSample / 8;
    clip.samples.truncate(clip.samples.size() - clip.samples.size() % frameBytes);
    return clip;
}

QCoro::Task<bool> PlayWaveFile(QString path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) co_return false;
    // A sound file is a few seconds long; anything far larger is not one.
    if (file.size() > 64 * 1024 * 1024) co_return false;
    const std::optional<WaveClip> clip = ParseWave(file.readAll());
    if (!clip || clip->samples.isEmpty()) co_return false;

    auto state = std::make_shared<PlayState>();
    auto shared = std::make_shared<const WaveClip>(*clip);
    QThread *thread = QThread::create([state, shared] { PlayOnThisThread(*shared, *state); });
    // The thread object stays until the wait below has ended: the player may finish before
    // the wait begins, or after it gave up.
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    const auto bound = clip->duration() + std::chrono::seconds(2);
    NextSignal finishing(thread, &QThread::finished, bound);
    thread->start();
    const bool finished = (co_await std::move(finishing)).has_value();
    if (!finished) state->stop = true;
    co_return finished && state->played.load();
}

}  // namespace vantel
