// The one door to libespeak-ng, which keeps all its state in globals: every call goes
// through a session that holds one process-wide lock, initialises the library once (in
// synchronous mode, AUDIO_OUTPUT_SYNCHRONOUS: PCM comes back through the synth callback and
// nothing is played by espeak itself, whose own playback loses audio silently without a
// device) and checks the voice it sets, so the Japanese voice never falls back to another.
#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

class TEspeakSession
{
public:
    TEspeakSession();  // takes the lock; initialises the library on first use
    ~TEspeakSession(); // releases the lock

    // False (with error()) when the library could not be initialised.
    bool ready() const { return m_ready; }
    QString error() const { return m_error; }
    int sampleRate() const { return m_sampleRate; }

    // Sets a Japanese voice ("ja", "ja+m1" ...) and checks that espeak really took that
    // language and that variant: a misspelt variant silently gives plain "ja" and an unknown
    // voice leaves the previous one active. False (with error()) when it did not.
    bool setVoice(const QString &name);
    // The identifier espeak reports for its current voice ("jpx/ja+m1").
    QString currentVoiceIdentifier() const;

    // Sets rate, volume, pitch and range; false when espeak refused one.
    bool setParameters(int rate, int volume, int pitch, int range);
    // The values espeak holds now (read back, for the report).
    int parameter(int which) const;

    // Synthesises UTF-8 text with the current voice; appends PCM to pcm. firstSample is set
    // to the moment the first sample came out. False (with error()) on a failed call.
    bool synthesize(const QString &text, std::vector<int16_t> &pcm, std::chrono::steady_clock::time_point *firstSample);

private:
    std::unique_lock<std::mutex> m_lock;
    bool m_ready = false;
    int m_sampleRate = 0;
    QString m_error;
};
