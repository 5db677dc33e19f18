// What the speech suites measure in captured audio, computed here independently of the
// engine: a WAV reader, level, voiced share, fundamental frequency, mora count.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace SpeechMeasure
{

struct Wav {
    bool ok = false;
    int channels = 0;
    int sampleRate = 0;
    int bits = 0;
    std::vector<int16_t> pcm;
};
// Reads a RIFF/WAVE file chunk by chunk (16-bit PCM only).
Wav readWav(const QString &path);

double rms(const std::vector<int16_t> &pcm);
int peak(const std::vector<int16_t> &pcm);
// Share of 20 ms frames whose level is above -40 dB of full scale.
double activeShare(const std::vector<int16_t> &pcm, int sampleRate);
// Median fundamental frequency (Hz) of the voiced frames, by normalised autocorrelation
// over 60..500 Hz; 0 when nothing is voiced.
double medianF0(const std::vector<int16_t> &pcm, int sampleRate);
// Spread of F0 across voiced frames: 90th minus 10th percentile, in Hz.
double f0Spread(const std::vector<int16_t> &pcm, int sampleRate);
// Morae of a kana text: each kana or long mark, small ゃゅょぁぃぅぇぉ not counted.
int morae(const QString &kana);

} // namespace SpeechMeasure
