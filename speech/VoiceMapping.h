// How the speech control's property values (1..10 scales, speaker 1..5) become
// libespeak-ng settings, and the PCM treatment that plays the voice quality. Each figure
// was measured to move its acoustic measure in one direction only (speech/README.md).
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace VoiceMapping
{

// Speed 1..10 to a rate of 80..300 words per minute (linear, rounded).
int espeakRate(int speed);
// Volume 1..10 to espeak volume 10..100 (above 100 espeak's output clips).
int espeakVolume(int volume);
// Pitch 1..10 to espeak pitch 0..100.
int espeakPitch(int pitch);
// Intonation 1..6 to espeak pitch range 0..100.
int espeakRange(int intonation);
// Voice quality 1..10 to a resampling factor 0.85..1.15, 5 (the default) being 1.0:
// the PCM is played factor times faster, which raises pitch and formants together.
double qualityFactor(int voicechanger);

// One voice of a speaker: the espeak voice name and whether it takes the female pitch.
struct Voice {
    QString name; // "ja+m1"
    bool female = false;
};
// SpeakerName 1..5 (values outside are clamped): 1 male 1 & female 1 (both voices,
// alternating), 2 male 1, 3 female 1, 4 male 2, 5 female 2.
QList<Voice> speakerVoices(int speakerName);

// Resamples 16-bit PCM by factor (output length n / factor; factor 1 copies).
// Lanczos interpolation, band-limited when the factor is above 1; never clips.
std::vector<int16_t> resample(const std::vector<int16_t> &pcm, double factor);

// A mono 16-bit PCM WAV file; the text goes into a LIST/INFO "ICMT" chunk (UTF-8) so a
// capture can be matched to its announcement. False when the file cannot be written.
bool writeWav(const QString &path, const std::vector<int16_t> &pcm, int sampleRate, const QString &comment);

} // namespace VoiceMapping
