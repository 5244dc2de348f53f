// The alert sound "mcitest.wav", played over ALSA on a thread of its own so that the window
// keeps working; the caller awaits the end of the clip.
#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QString>
#include <chrono>
#include <optional>

namespace vantel {

// A RIFF/WAVE file with 8- or 16-bit PCM samples.
struct WaveClip {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    QByteArray samples;

    std::chrono::milliseconds duration() const;
};

// Nothing when the data is not PCM WAVE this player can play.
std::optional<WaveClip> ParseWave(const QByteArray &file);

// Plays the file to its end, or gives up waiting after the clip's length plus 2 seconds.
// Returns at once, silently, when the file is missing or unplayable; a missing sound device
// ends the play at once too. True when the clip was played to its end.
QCoro::Task<bool> PlayWaveFile(QString path);

}  // namespace vantel
